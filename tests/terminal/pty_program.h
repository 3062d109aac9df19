// tests/terminal/pty_program.h: the built program on the far side of a pseudo-terminal, for the
// tests that need a terminal (the interactive face, mimoza edit).
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

namespace mimoza::testing {

using Clock = std::chrono::steady_clock;
constexpr auto kWait = std::chrono::seconds(10);
constexpr int kRows = 24;

// PtyProgram: a program on the far side of a pseudo-terminal of 24 rows and 80 columns, with
// everything it wrote.
class PtyProgram {
 public:
  // Start: runs argv (argv[0] is the program) under a UTF-8 locale with env's NAME=value
  // settings put over it.
  bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    winsize size = {};
    size.ws_row = kRows;
    size.ws_col = 80;
    pid = forkpty(&master, nullptr, nullptr, &size);
    if (pid == 0) {
      setenv("TERM", "xterm-256color", 1);
      for (const char* name : {"LANG", "LC_CTYPE", "LANGUAGE"}) unsetenv(name);
      setenv("LC_ALL", "C.UTF-8", 1);
      for (const std::string& setting : env) {
        const size_t equals = setting.find('=');
        setenv(setting.substr(0, equals).c_str(), setting.substr(equals + 1).c_str(), 1);
      }
      const rlimit noCore = {0, 0};  // the signal cases need no core files
      setrlimit(RLIMIT_CORE, &noCore);
      std::vector<char*> args;
      args.reserve(argv.size() + 1);
      for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
    return pid > 0;
  }

  ~PtyProgram() {
    if (pid > 0 && !exited) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    if (master >= 0) close(master);
  }

  void Type(const std::string& bytes) {
    ASSERT_EQ(write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  // ReadUntil: reads until text appears after what earlier calls consumed; false on time-out.
  bool ReadUntil(const std::string& text) {
    const auto deadline = Clock::now() + kWait;
    for (;;) {
      const size_t found = output.find(text, consumed);
      if (found != std::string::npos) {
        consumed = found + text.size();
        return true;
      }
      if (!ReadSome(deadline)) return false;
    }
  }

  // Finish: reads to the end of output and returns the exit status, or -1 on time-out.
  int Finish() {
    const auto deadline = Clock::now() + kWait;
    while (ReadSome(deadline)) {
    }
    while (Clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) {
        exited = true;
        return status;
      }
      usleep(10000);
    }
    return -1;
  }

  // Kill: ends the program at once, as a crash would.
  void Kill() {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    exited = true;
  }

  int Master() const { return master; }
  pid_t Pid() const { return pid; }
  const std::string& Output() const { return output; }

 private:
  // ReadSome: one read with the time left; false at the deadline or when the program is gone.
  bool ReadSome(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd fd = {master, POLLIN, 0};
    if (poll(&fd, 1, static_cast<int>(left)) <= 0) return false;
    char buffer[4096];
    const ssize_t got = read(master, buffer, sizeof buffer);
    if (got <= 0) return false;  // EIO once the program has closed the terminal
    output.append(buffer, static_cast<size_t>(got));
    return true;
  }

  pid_t pid = -1;
  int master = -1;
  bool exited = false;
  std::string output;
  size_t consumed = 0;
};

}  // namespace mimoza::testing
