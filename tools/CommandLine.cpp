// Option parsing without getopt, so the same code serves the POSIX and the Windows console.
#include "tools/CommandLine.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {
bool Number(const std::string& text, long long low, long long high, long long& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtoll(text.c_str(), &end, 10);
  return errno == 0 && *end == '\0' && value >= low && value <= high;
}

// A named choice: the index of value among names, or -1.
int Choice(const std::string& value, std::initializer_list<const char*> names) {
  int i = 0;
  for (const char* name : names) {
    if (value == name) return i;
    ++i;
  }
  return -1;
}
}  // namespace

CommandLine::CommandLine() { settings.Reset(1, ""); }

bool CommandLine::Parse(int argc, const char* const* argv, std::string& error) {
  TransferSettings& s = settings;
  int i = 1;
  if (i < argc && (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)) {
    help = true;
    return true;
  }
  if (i < argc && std::strcmp(argv[i], "--version") == 0) {
    version = true;
    return true;
  }
  if (i >= argc) {
    error = "missing command: send, receive or ports";
    return false;
  }
  const std::string command = argv[i++];
  if (command == "ports") {
    listPorts = true;
    return true;
  } else if (command == "send" || command == "receive") {
    s.Transfer = command == "send" ? 1 : 0;
  } else {
    error = "unknown command '" + command + "': send, receive or ports";
    return false;
  }
  bool answer = false, logAppend = false, host = false;
  std::string dial;
  std::vector<std::string> files;
  for (; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--") {
      for (++i; i < argc; ++i) files.push_back(argv[i]);
      break;
    }
    if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
      files.push_back(arg);
      continue;
    }
    std::string value;
    bool inlineValue = false;
    const size_t eq = arg.find('=');
    if (eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg.resize(eq);
      inlineValue = true;
    }
    if (arg == "--help" || arg == "--version") {
      (arg == "--help" ? help : version) = true;
      return true;
    }
    const std::pair<const char*, bool*> kFlags[] = {{"--quiet", &quiet},     {"--log-append", &logAppend},
                                                    {"--answer", &answer},   {"--pulse", &pulse},
                                                    {"--host", &host},       {"--no-carrier-detect", &noCarrierDetect}};
    bool* flag = nullptr;
    for (const auto& f : kFlags)
      if (arg == f.first) flag = f.second;
    if (flag) {
      if (inlineValue) {
        error = arg + " takes no value";
        return false;
      }
      *flag = true;
      continue;
    }
    static const char* const kValued[] = {"--port",      "--baud",         "--protocol",     "--flow",
                                          "--max-errors", "--overwrite",   "--send-timeout", "--recv-timeout",
                                          "--log",        "--window",      "--crash-recovery", "--path-mode",
                                          "--dir",        "--dial",        "--modem-init",   "--response-timeout",
                                          "--modem-set"};
    bool known = false;
    for (const char* name : kValued) known = known || arg == name;
    if (!known) {
      error = "unknown option " + arg;
      return false;
    }
    if (!inlineValue) {
      if (i + 1 >= argc) {
        error = arg + " needs a value";
        return false;
      }
      value = argv[++i];
    }
    long long n = 0;
    if (arg == "--port") {
      port = value;
    } else if (arg == "--log") {
      s.LogToFile = 1;
      s.LogFilename = value;
    } else if (arg == "--dir") {
      dir = value;
    } else if (arg == "--dial" || arg == "--modem-init") {
      // The room of the settings record's Telephone and ModemCmd, terminator included, is 41.
      if (value.empty() || value.size() >= TransferSettings::kShortRoom) {
        error = arg + " wants 1 to 40 characters";
        return false;
      }
      if (arg == "--dial") {
        dial = value;
      } else {
        // The modem frames it with its own prefix; an AT typed out of habit would be doubled.
        s.ModemCmd = value.size() > 2 && (value.compare(0, 2, "AT") == 0 || value.compare(0, 2, "at") == 0)
                         ? value.substr(2)
                         : value;
      }
    } else if (arg == "--modem-set") {
      modemValues.push_back(value);
    } else if (arg == "--response-timeout") {
      if (!Number(value, 50, 600000, n)) {
        error = "--response-timeout wants milliseconds from 50 to 600000";
        return false;
      }
      responseTimeoutMs = static_cast<int32_t>(n);
    } else if (arg == "--window") {
      if (!Number(value, 0, 32767, n)) {
        error = "--window wants bytes from 0 (stream) to 32767";
        return false;
      }
      s.WindowSize = static_cast<int16_t>(n);
    } else if (arg == "--crash-recovery") {
      if (!Number(value, 1, 3, n)) {
        error = "--crash-recovery wants 1 (never), 2 (as the sender asks) or 3 (always)";
        return false;
      }
      s.CrashRecovery = static_cast<int16_t>(n);
    } else if (arg == "--path-mode") {
      if (!Number(value, 0, 2, n)) {
        error = "--path-mode wants 0 (name only), 1 (as given) or 2 (paired names)";
        return false;
      }
      s.PathSwitch = static_cast<int16_t>(n);
    } else if (arg == "--baud") {
      if (!Number(value, 1, 4000000, n)) {
        error = "--baud wants a positive number of bits per second";
        return false;
      }
      s.BaudRate = static_cast<int32_t>(n);
      baudGiven = true;
    } else if (arg == "--protocol") {
      const int p = Choice(value, {"xmodem", "zmodem", "acknak", "ymodem", "xmodem1k"});
      if (p < 0) {
        error = "--protocol wants xmodem, zmodem, acknak, ymodem or xmodem1k";
        return false;
      }
      s.Protocol = static_cast<int16_t>(p);
    } else if (arg == "--flow") {
      const int f = Choice(value, {"none", "xonxoff", "rtscts"});
      if (f < 0) {
        error = "--flow wants none, xonxoff or rtscts";
        return false;
      }
      s.FlowControl = static_cast<int16_t>(f);
      flowGiven = true;
    } else if (arg == "--max-errors") {
      if (!Number(value, 0, 32767, n)) {
        error = "--max-errors wants a number up to 32767, 0 for no limit";
        return false;
      }
      s.MaxErrors = static_cast<int16_t>(n);
    } else if (arg == "--overwrite") {
      if (!Number(value, 1, 7, n)) {
        error = "--overwrite wants a rule from 1 to 7";
        return false;
      }
      s.Overwrite = static_cast<int16_t>(n);
    } else {
      if (!Number(value, 0, 0x7FFFFFFF, n)) {
        error = arg + " wants seconds, 0 for none";
        return false;
      }
      (arg == "--send-timeout" ? s.SendTimeout : s.RecvTimeout) = static_cast<int32_t>(n);
    }
  }
  if (port.empty()) {
    error = "--port is required";
    return false;
  }
  const bool sending = s.Transfer != 0;
  if ((sending && answer) || (!sending && !dial.empty())) {
    error = sending ? "a sender dials (--dial), it does not answer" : "a receiver answers (--answer), it does not dial";
    return false;
  }
  if (sending && host) {
    error = "--host is for receiving: zandrel receive --host";
    return false;
  }
  s.HostMode = host ? 1 : 0;
  s.AppendToLog = logAppend ? 1 : 0;
  s.UseModem = answer || !dial.empty() ? 1 : 0;
  s.Telephone = dial;
  s.FileList.clear();
  for (const std::string& f : files) s.FileList += (s.FileList.empty() ? "" : ";") + f;
  return true;
}

const char* CommandLine::Help() {
  return "Usage: zandrel send [options] FILE...\n"
         "       zandrel receive [options] [NAME]\n"
         "       zandrel ports\n"
         "       zandrel --version\n"
         "\n"
         "Sends or receives files over a serial line. XModem, XModem-1K and ACK/NAK move one\n"
         "file: the sender the first FILE that exists (wildcards allowed), the receiver into\n"
         "NAME. ZModem and YModem send every FILE (wildcards allowed) in one batch; their\n"
         "receivers take the names from the sender (or, in turn, from the NAMEs given) into\n"
         "--dir.\n"
         "\n"
         "Options:\n"
         "  --port PORT          the serial device: a path such as /dev/ttyUSB0, or COM1 on\n"
         "                       Windows (required; 'zandrel ports' lists them); or a port\n"
         "                       on the network: rfc2217://HOST:PORT (a terminal server or\n"
         "                       ser2net with RFC 2217: the line settings reach the port),\n"
         "                       tcp://HOST:PORT or socket://HOST:PORT (raw bytes); an IPv6\n"
         "                       address in brackets: rfc2217://[::1]:2217; on POSIX\n"
         "                       systems - is the standard input and output as they are (a\n"
         "                       terminal program's port when it runs zandrel, a login\n"
         "                       terminal, a pipe pair, a socket): their rate and flow\n"
         "                       control change only with --baud or --flow\n"
         "  --baud N             bits per second (default 19200)\n"
         "  --protocol P         xmodem (default), xmodem1k (1 KiB blocks), ymodem (batch),\n"
         "                       zmodem or acknak\n"
         "  --flow F             none (default), xonxoff (ZModem only) or rtscts\n"
         "  --max-errors N       errors that end a file; 0 = no limit (default)\n"
         "  --overwrite N        what a receiver does with an existing file (default 7):\n"
         "                       1 source longer and newer, 2 CRCs don't match, 3 append,\n"
         "                       4 always, 5 source newer, 6 date and length both differ,\n"
         "                       7 never; a ZModem or YModem batch skips a refused file and\n"
         "                       goes on (exit 14); YModem, which cannot compare CRCs,\n"
         "                       replaces with 2; XModem overwrites only with 4, ACK/NAK\n"
         "                       appends with 3, replaces with 4 and refuses otherwise\n"
         "  --send-timeout S     seconds without progress that end a send (default 60, 0 none)\n"
         "  --recv-timeout S     the same for a receive (default 60, 0 none)\n"
         "  --window N           ZModem window in bytes, 0 streams (default); a receiver that\n"
         "                       announces a window is refused by some senders\n"
         "  --crash-recovery N   ZModem resume of a shorter existing file: 1 never (default),\n"
         "                       2 when the sender asks (and its --overwrite rule applies),\n"
         "                       3 always (may join two unrelated files of one name)\n"
         "  --path-mode N        ZModem and YModem names: 0 name part only (default), 1 as\n"
         "                       given, 2 (ZModem send) FILE NAME pairs: each file goes under\n"
         "                       the next name\n"
         "  --dir DIR            receive: the folder to receive into\n"
         "  --host               ZModem receive in host mode: batch after batch until Ctrl-C\n"
         "                       (with --answer: each call answered and hung up in turn)\n"
         "  --log FILE           write the transfer log (one fixed-width line per file)\n"
         "  --log-append         add to an existing log instead of replacing it\n"
         "  --quiet              no progress or result lines\n"
         "\n"
         "Through a modem (a Hayes-compatible modem on --port; 'zandrel ports' lists the\n"
         "ports and the modems):\n"
         "  --dial NUMBER        send: dial NUMBER first, hang up afterwards\n"
         "  --answer             receive: answer the first call, hang up afterwards; the wait\n"
         "                       for a call is --recv-timeout seconds of silence (0 for ever)\n"
         "  --modem-init CMD     a command sent before dialing or answering, without AT\n"
         "                       (for example X3 or &C0)\n"
         "  --pulse              pulse dialing (default tone)\n"
         "  --response-timeout MS  silence the modem has to answer each command (default 2000)\n"
         "  --no-carrier-detect  the line carries no carrier detect signal (a three-wire\n"
         "                       cable, a modem set to &C0, a pseudo-terminal): count a\n"
         "                       CONNECT as connected without it, and notice a call that\n"
         "                       drops by the time-outs instead; without this option only\n"
         "                       CONNECT with carrier detect on counts, and losing the\n"
         "                       carrier ends the transfer at once\n"
         "  --modem-set NAME=TEXT  change a command of the built-in generic Hayes modem:\n"
         "                       Reset, UserInit, Init/N, Hangup/N, Prefix, Terminator,\n"
         "                       DialPrefix, DialSuffix, Tone, Pulse, CallSetupFailTimer\n"
         "                       (S7=<#>), FlowControl_Hard, ... (<cr> is a carriage return;\n"
         "                       empty TEXT removes it); by default: Reset ATZ, Init/1 AT&F,\n"
         "                       Init/2 ATE0V1&C1&D2S0=0, Hangup/1 ATH0\n"
         "  --help               this text\n"
         "  --version            the version of zandrel\n"
         "\n"
         "Progress goes to standard error: a live line on a terminal, one line per file\n"
         "otherwise, and the counts at the end (\"3 / 3 File(s) sent.\"); with --port - it\n"
         "stays silent while standard error is the port itself. Ctrl-C cancels the transfer\n"
         "and tells the remote.\n"
         "\n"
         "Exit status: 0 success; 1 XON/XOFF without ZModem; 2 host mode without ZModem;\n"
         "3 no file name; 4 receiver names not in pairs; 5 time-out; 6 cancelled (also the\n"
         "end of host mode); 7 out of memory; 8 no files sent; 9 bad CRC; 10 line too long;\n"
         "11 cannot open file; 12 cannot write file; 13 cannot read file; 14 file exists;\n"
         "15 communications error; 16 cancelled by remote; 17 error count exceeded;\n"
         "18 port did not open; 19 unknown error; 20 no connection; 21 modem initialisation\n"
         "failed; 64 bad command line. Files announced but not done are said in words.\n";
}
