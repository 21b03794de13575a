// The one record that configures a transfer: port or modem, line, protocol and its options,
// time-outs, logging, the files, the window titles and the counts of the last transfer. Every
// automation object of the process, the setup sheet and the running job share one record.
//
// Nothing locks it. A transfer's worker thread reads it for the whole run and writes only
// Transferred; everything else (the properties, Load, the setup sheet, the file prompt) writes
// it on the host's thread, and must not do so while a transfer runs.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

struct TransferSettings {
  // Rooms of the text fields, terminator included: longer input is cut to room - 1 characters
  // (see Cut).
  static constexpr size_t kPathRoom = 261;   // DefaultDir, HelpFile, LogFilename
  static constexpr size_t kTitleRoom = 129;  // MaxTitle, MinTitle
  static constexpr size_t kShortRoom = 41;   // ModemCmd, Telephone

  // Protocol numbers, flow control and the existing-file rules, as the properties number them.
  static constexpr int16_t kXModem = 0, kZModem = 1, kAckNak = 2, kYModem = 3, kXModem1K = 4;
  static constexpr int16_t kFlowNone = 0, kFlowXonXoff = 1, kFlowRtsCts = 2;
  static constexpr int16_t kSourceLongerOrNewer = 1, kCrcsDiffer = 2, kAppend = 3, kAlways = 4,
                           kSourceNewer = 5, kDateOrLengthDiffer = 6, kNever = 7;

  int32_t AppendToLog = 0;  // non-zero: the log is appended to
  int16_t Attempted = 0;    // files of the last transfer (counted from FileList or the prompt)
  int32_t BaudRate = 19200;
  int16_t CrashRecovery = 1;  // 1 never, 2 follow the sender, 3 always
  std::string DefaultDir;     // folder the file prompt starts in
  std::string FileList;       // what to send, or the name to receive into (";"-separated)
  int16_t FlowControl = kFlowNone;
  std::string HelpFile;     // help file of every dialog
  int32_t HostMode = 0;     // receive again and again (ZModem only)
  std::string LogFilename;  // transfer log path
  int32_t LogToFile = 0;
  int32_t LogToScreen = 0;   // list of finished files in the progress window
  int16_t MaxErrors = 0;     // 0..50, 0 no limit
  std::string MaxTitle;      // caption of the progress window, message boxes and the setup sheet
  std::string MinTitle;      // caption of the progress window while minimised
  std::string ModemCmd;      // sent to the modem before dialing or answering, when not empty
  int16_t ModemName = 0;     // index into the installed modems
  int16_t Overwrite = kNever;
  int16_t PathSwitch = 0;    // 0 strip path, 1 send path, 2 receiver names given in pairs
  int16_t Port = 0;          // index into the installed ports
  int16_t Protocol = kXModem;
  int32_t RecvTimeout = 60;  // seconds without progress when receiving; 0 none
  int32_t RunMinimized = 0;
  int32_t SendTimeout = 60;  // seconds without progress when sending; 0 none
  std::string Telephone;     // number the modem dials when sending
  int16_t Transferred = 0;   // files the engines completed in the last transfer, all passes
  int32_t Transfer = 1;      // non-zero send, 0 receive
  int32_t UseModem = 0;
  int32_t Verbose = 0;       // error count shown in the progress window
  int16_t WindowSize = 0;    // ZModem window: 0 streaming, 1024, 2048 or 4096

  // Every field to its default, the list emptied. defaultType 2 gives RTS/CTS with ZModem
  // streaming, 3 XON/XOFF with ZModem and a 1024-byte window, any other no flow control with
  // XModem. moduleDirectory ends with its separator (or is empty): the default folder is it
  // without that separator, and the help file and the log sit in it.
  void Reset(int32_t defaultType, const std::string& moduleDirectory);
  // Whether Protocol moves a batch of named files (ZModem, YModem) rather than one.
  bool Batch() const { return Protocol == kZModem || Protocol == kYModem; }

  // The text cut to room - 1 characters, never inside one. Characters are counted as the system
  // counts them, in UTF-16 units (two past the basic plane, one for each malformed byte), so
  // that a path that fills MAX_PATH or an edit control's limit fits its field here too.
  static std::string Cut(std::string_view text, size_t room);

  // The record of this process.
  static TransferSettings& Process();
};
