/* Resource and control ids of the progress window: shared by its dialog template
   (ProgressDialog.rc, included into the module's resources) and its code (job/). */
#ifndef ZANDREL_PROGRESS_IDS_H
#define ZANDREL_PROGRESS_IDS_H

#define IDI_ZANDREL 102 /* the module's icon */
#define IDD_PROGRESS 110

#define IDC_PORT_LABEL 1001
#define IDC_PORT 1002
#define IDC_PROTOCOL_LABEL 1003
#define IDC_PROTOCOL 1004
#define IDC_MODE_LABEL 1005
#define IDC_MODE 1006
#define IDC_BAUD_LABEL 1007
#define IDC_BAUD 1008
#define IDC_FILE_LABEL 1009
#define IDC_FILE 1010
#define IDC_STATUS_LABEL 1011
#define IDC_STATUS 1012
#define IDC_PROGRESS_LABEL 1013
#define IDC_PROGRESS_TEXT 1014
#define IDC_ERRORS_LABEL 1015
#define IDC_ERRORS 1016
#define IDC_PROGRESS_BAR 1017
#define IDC_REPORT 1018
#define IDC_HELP_BUTTON 9 /* IDHELP */

#endif
