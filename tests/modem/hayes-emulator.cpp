// hayes-emulator: emulated Hayes modems on one switchboard, each served on a pseudo-terminal,
// so that whole programs can dial and answer each other (test equipment, POSIX only).
//
//   hayes-emulator DIR MODEM...
//     NUMBER           a modem on line NUMBER; its computer side is the terminal DIR/NUMBER.
//                      The terminal being open stands for DTR: closing it hangs the modem up.
//     NUMBER@PATH      a modem whose computer side is the existing terminal PATH (the far end
//                      of a pty pair that another program's serial port sits on); DTR stays on.
//     NUMBER=COMMAND   a modem on line NUMBER that answers every call at the first ring and
//                      hands the call to COMMAND (run by sh -c, the call on its standard input
//                      and output, a terminal); the modem hangs up when COMMAND ends, and
//                      COMMAND gets a hang-up when the caller leaves.
//
// Each modem's command lines and changes of state go to DIR/NUMBER.log. DIR/ready appears once
// every terminal exists. SIGTERM or SIGINT ends it.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "fakes/ChildProcess.h"
#include "fakes/Switchboard.h"
#include "link/TickSource.h"

namespace {
volatile sig_atomic_t stopping = 0;
void Stop(int) { stopping = 1; }

const char* const kStateNames[] = {"on-hook", "dialing", "answering", "online", "online-command"};

struct Line {
  HayesModem* modem = nullptr;
  std::string command;  // for a modem that hands its calls to a program
  int master = -1;      // the computer side
  bool hungUp = true;   // nobody holds the terminal: DTR off
  bool attached = false;  // an existing terminal: its hang-ups say nothing about DTR
  std::unique_ptr<ChildProcess> program;
  FILE* log = nullptr;
  size_t logged = 0;
  HayesModem::State state = HayesModem::State::OnHook;
};

// False when fd is no terminal.
bool MakeRaw(int fd) {
  termios t{};
  if (fd < 0 || tcgetattr(fd, &t) != 0) return false;
  cfmakeraw(&t);
  return tcsetattr(fd, TCSANOW, &t) == 0;
}

// A new pseudo-terminal in raw mode: the master, and the slave's path.
int OpenTerminal(std::string& slavePath) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return -1;
  slavePath = ptsname(master);
  const int slave = open(slavePath.c_str(), O_RDWR | O_NOCTTY);
  MakeRaw(slave);
  if (slave >= 0) close(slave);
  return master;
}

void StartProgram(Line& line) {
  std::string slavePath;
  line.master = OpenTerminal(slavePath);
  // Held while the program starts, so the terminal never reads as hung up before it holds it.
  const int slave = open(slavePath.c_str(), O_RDWR | O_NOCTTY);
  ChildOptions o;
  o.stdinPath = o.stdoutPath = slavePath;
  line.program = std::make_unique<ChildProcess>();
  line.program->Start({"sh", "-c", line.command}, o);
  close(slave);
  line.hungUp = false;
  line.modem->ToComputer().clear();  // the CONNECT line is for a terminal, not for the program
}

void EndProgram(Line& line, uint32_t now) {
  line.program.reset();  // ended, or told to end (its whole group)
  close(line.master);
  line.master = -1;
  line.modem->SetDtr(false, now);  // &D2: the call ends with the program
  line.modem->SetDtr(true, now);
}

// Moves bytes between a line's terminal and its modem.
void Serve(Line& line, short revents, uint32_t now) {
  HayesModem& m = *line.modem;
  if (revents & POLLIN) {
    uint8_t buffer[4096];
    const size_t room = m.Room() < sizeof buffer ? m.Room() : sizeof buffer;
    const ssize_t n = room ? read(line.master, buffer, room) : 0;
    for (ssize_t i = 0; i < n; ++i) m.FromComputer(buffer[i], now);
  }
  const bool hungUp = !line.attached && (revents & POLLHUP) != 0 && (revents & POLLIN) == 0;
  if (line.command.empty() && hungUp != line.hungUp) m.SetDtr(!hungUp, now);
  line.hungUp = hungUp;
  auto& out = m.ToComputer();
  while (!hungUp && !out.empty()) {
    uint8_t buffer[4096];
    size_t n = 0;
    for (; n < sizeof buffer && n < out.size(); ++n) buffer[n] = out[n];
    const ssize_t written = write(line.master, buffer, n);
    if (written <= 0) break;
    out.erase(out.begin(), out.begin() + written);
  }
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: hayes-emulator DIR NUMBER|NUMBER=COMMAND...\n");
    return 64;
  }
  const std::string dir = argv[1];
  signal(SIGTERM, Stop);
  signal(SIGINT, Stop);
  signal(SIGPIPE, SIG_IGN);
  Switchboard board;
  std::vector<Line> lines(static_cast<size_t>(argc - 2));
  for (int i = 2; i < argc; ++i) {
    Line& line = lines[static_cast<size_t>(i - 2)];
    const std::string arg = argv[i];
    const size_t eq = arg.find('='), at = arg.find('@');
    const bool program = eq != std::string::npos && (at == std::string::npos || eq < at);
    line.attached = !program && at != std::string::npos;
    const std::string number = arg.substr(0, program ? eq : line.attached ? at : std::string::npos);
    line.modem = &board.Add(number);
    line.log = std::fopen((dir + "/" + number + ".log").c_str(), "w");
    if (program) {
      line.command = arg.substr(eq + 1);
      line.hungUp = false;
      for (char c : std::string("ATS0=1\r")) line.modem->FromComputer(static_cast<uint8_t>(c), TickSource::Now());
      line.modem->ToComputer().clear();
      continue;
    }
    if (line.attached) {
      line.hungUp = false;
      line.master = open(arg.substr(at + 1).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
      if (!MakeRaw(line.master)) {
        std::perror("hayes-emulator: attached terminal");
        return 1;
      }
      continue;
    }
    std::string slavePath;
    line.master = OpenTerminal(slavePath);
    if (line.master < 0 || symlink(slavePath.c_str(), (dir + "/" + number).c_str()) != 0) {
      std::perror("hayes-emulator: terminal");
      return 1;
    }
    line.modem->SetDtr(false, TickSource::Now());
  }
  std::fclose(std::fopen((dir + "/ready").c_str(), "w"));

  while (!stopping) {
    std::vector<pollfd> fds;
    std::vector<Line*> polled;
    for (Line& line : lines) {
      if (line.master < 0) continue;
      short events = 0;
      if (line.modem->Room() > 0) events |= POLLIN;
      if (!line.modem->ToComputer().empty()) events |= POLLOUT;
      // A terminal nobody holds polls as hung up at once: look at it without waiting.
      pollfd p{line.master, events, 0};
      if (line.hungUp && poll(&p, 1, 0) >= 0 && (p.revents & POLLHUP) && !(p.revents & POLLIN)) {
        Serve(line, p.revents, TickSource::Now());
        continue;
      }
      fds.push_back({line.master, events, 0});
      polled.push_back(&line);
    }
    poll(fds.data(), fds.size(), 2);
    const uint32_t now = TickSource::Now();
    for (size_t i = 0; i < fds.size(); ++i) Serve(*polled[i], fds[i].revents, now);
    board.Tick(now);
    for (Line& line : lines) {
      HayesModem& m = *line.modem;
      if (!line.command.empty()) {
        const bool call = m.GetState() == HayesModem::State::Online || m.GetState() == HayesModem::State::OnlineCommand;
        // The program is done once its terminal hangs up (everything it wrote has been read).
        if (call && !line.program) StartProgram(line);
        else if (line.program && (!call || line.hungUp)) EndProgram(line, now);
      }
      if (!line.log) continue;
      for (; line.logged < m.Commands().size(); ++line.logged)
        std::fprintf(line.log, "AT%s\n", m.Commands()[line.logged].c_str());
      if (m.GetState() != line.state) {
        line.state = m.GetState();
        std::fprintf(line.log, "state %s\n", kStateNames[static_cast<int>(line.state)]);
      }
      std::fflush(line.log);
    }
  }
  for (Line& line : lines) {
    if (line.program) EndProgram(line, TickSource::Now());
    if (line.command.empty() && !line.attached) unlink((dir + "/" + line.modem->Number()).c_str());
    if (line.log) std::fclose(line.log);
  }
  return 0;
}
