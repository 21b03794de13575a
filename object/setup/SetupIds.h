// Numbers of the setup sheet's pages, the setup dialogs and their controls: one list for the
// resource script that draws them and the code that drives them. Plain defines, so that the
// resource compiler reads this file too.
#pragma once

// Dialog templates.
#define IDD_SETUP_GENERAL 111
#define IDD_SETUP_TRANSFER 112
#define IDD_SETUP_LOGGING 113
#define IDD_SETUP_MODEM 114
#define IDD_PHONE_ENTRY 115
#define IDD_SEND_AS 116
#define IDD_RECEIVER_NAME 117

// Buttons every dialog shares besides OK (1) and Cancel (2).
#define IDC_HELP_BUTTON 9
#define IDC_BROWSE 201

// General page.
#define IDC_CONNECTION 211
#define IDC_BAUD_RATE 212
#define IDC_SETUP_PROTOCOL 213
#define IDC_MAX_ERRORS 214
#define IDC_FLOW_CONTROL 216
#define IDC_WINDOW_SIZE 217
#define IDC_CRASH_RECOVERY 218

// Transfer page.
#define IDC_SEND_TIMEOUT 221
#define IDC_RECV_TIMEOUT 222
#define IDC_DEFAULT_DIR 223
#define IDC_PATH_SWITCH 224
#define IDC_OVERWRITE 225

// Logging page.
#define IDC_LOG_TO_SCREEN 232
#define IDC_LOG_TO_FILE 233
#define IDC_APPEND_TO_LOG 234
#define IDC_LOG_FILENAME 235

// Modem page (Edit is shared with Send File As ...).
#define IDC_LISTING 241
#define IDC_EDIT 242
#define IDC_CLEAR 243
#define IDC_MODEM_CMD 244

// Edit Telephone Listing.
#define IDC_DESCRIPTION 251
#define IDC_NUMBER 252

// Send File As ...
#define IDC_SEND_AS_LIST 261

// Edit Receiver File Name.
#define IDC_SENDER_NAME 271
#define IDC_RECEIVER_NAME 272

// Help contexts of the pages and dialogs.
#define HELP_GENERAL 2
#define HELP_TRANSFER 3
#define HELP_LOGGING 4
#define HELP_MODEM 5
#define HELP_PHONE_ENTRY 6
#define HELP_FILE_PROMPT 7
#define HELP_SEND_AS 8
#define HELP_RECEIVER_NAME 9
