// tests/terminal/interactive_test.cpp: the interactive face. The screen helpers through tables;
// then the built program under a real pseudo-terminal: it types Japanese, teaches a line, uses
// Alt+Enter, F2 and a mouse click, quits with Ctrl+D and must leave the terminal as it found it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "terminal/screen.h"

namespace mimoza {
namespace {

class ScreenTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { std::setlocale(LC_CTYPE, "C.UTF-8"); }
};

TEST_F(ScreenTest, SanitizeLine) {
  const struct {
    const char* text;
    const char* shown;
  } kCases[] = {
      {"quip\n", "quip"},  // a quip's own line break is no new line
      {"quip\r\n", "quip"},
      {"two\nlines", "two lines"},
      {"tab\there", "tab here"},
      {"\x1b[2Jclear", "\xef\xbf\xbd[2Jclear"},  // an escape from a data file stays text
      {"bell\x07", "bell\xef\xbf\xbd"},
      {"c1\xc2\x9b", "c1\xef\xbf\xbd"},
      {"bad\xff", "bad\xef\xbf\xbd"},
      {"覚えていい？", "覚えていい？"},
  };
  for (const auto& c : kCases) EXPECT_EQ(SanitizeLine(c.text), c.shown) << c.text;
  EXPECT_EQ(TitleSequence("ミモ\x07ザ\x1b\\"), "\x1b]0;ミモザ\\\x07");
}

TEST_F(ScreenTest, ClipAndWrapByDisplayWidth) {
  const struct {
    const char* text;
    int32_t width;
    const char* clipped;
  } kClipCases[] = {
      {"abc", 3, "abc"},    {"abcd", 3, "ab…"}, {"日本語", 6, "日本語"}, {"日本語", 5, "日本…"},
      {"日本語", 4, "日…"}, {"日本", 1, "…"},   {"abc", 0, ""},
  };
  for (const auto& c : kClipCases) {
    EXPECT_EQ(ClipToWidth(c.text, c.width), c.clipped) << c.text << " in " << c.width;
  }

  const struct {
    const char* text;
    int32_t width;
    std::vector<std::string> lines;
  } kWrapCases[] = {
      {"あいうえお", 4, {"あい", "うえ", "お"}},
      {"あいうえお", 5, {"あい", "うえ", "お"}},
      {"ab\ncd\n", 10, {"ab", "cd"}},
      {"a\n\nb", 10, {"a", "", "b"}},
      {"", 5, {""}},
      {"e\xcc\x81"
       "e\xcc\x81",
       1,
       {"e\xcc\x81", "e\xcc\x81"}},
      {"日", 1, {"日"}},  // wider than the box: shown rather than lost
  };
  for (const auto& c : kWrapCases) {
    EXPECT_EQ(WrapToWidth(c.text, c.width), c.lines) << c.text << " in " << c.width;
  }
}

// Frames for the one-line input: the cursor must stay on screen, at its display column.
TEST_F(ScreenTest, InputScrollsToKeepTheCursorVisible) {
  const struct {
    const char* input;
    int32_t cursorColumn;
    const char* shown;
    const char* cursor;
  } kCases[] = {
      {"abc", 3, "> abc\x1b[K", "\x1b[5;6H"},
      {"こんにちは", 6, "> こんにち\x1b[K", "\x1b[5;9H"},
      {"aaaaaaaaaaaaaaaaaaaa", 20, "> aaaaaaa\x1b[K", "\x1b[5;10H"},
      {"aaaaaaaaaaaaaaaaaaaa", 2, "> aaaaaaaa\x1b[K", "\x1b[5;5H"},
      {"あいうえおかき", 14, "> おかき\x1b[K", "\x1b[5;9H"},
      {"あいうえおかき", 4, "> あいうえ\x1b[K", "\x1b[5;7H"},
  };
  for (const auto& c : kCases) {
    ScreenView view;
    view.rows = 8;
    view.columns = 10;
    view.input = c.input;
    view.cursorColumn = c.cursorColumn;
    const std::string frame = ComposeFrame(view);
    EXPECT_NE(frame.find(c.shown), std::string::npos) << c.input << "\n" << frame;
    EXPECT_NE(frame.find(std::string(c.cursor) + "\x1b[?25h"), std::string::npos) << c.input;
  }
}

TEST_F(ScreenTest, BoxShowsTheWholeResponseWithItsCaption) {
  ScreenView view;
  view.rows = 24;
  view.columns = 40;
  view.response = "長い答え\n";
  view.boxOpen = true;
  view.boxCaption = "内容";
  view.boxText = "一行目\n二行目\n";
  std::string frame = ComposeFrame(view);
  EXPECT_NE(frame.find("┌─ 内容 ─┐"), std::string::npos) << frame;
  EXPECT_NE(frame.find("│ 一行目 │"), std::string::npos) << frame;
  EXPECT_NE(frame.find("│ 二行目 │"), std::string::npos) << frame;
  EXPECT_NE(frame.find("└────────┘"), std::string::npos) << frame;
  EXPECT_EQ(frame.find("\x1b[?25h"), std::string::npos) << "the cursor stays hidden under a box";

  // A response taller than the screen ends in "…" instead of running off it.
  view.rows = 8;
  view.boxText.clear();
  for (int i = 0; i < 30; ++i) view.boxText += "line\n";
  frame = ComposeFrame(view);
  EXPECT_NE(frame.find("│ …      │"), std::string::npos) << frame;
  EXPECT_EQ(frame.find("\x1b[9;"), std::string::npos) << "nothing below the last row";
}

TEST_F(ScreenTest, TinyScreensStillDraw) {
  const struct {
    int32_t rows;
    int32_t responseRow;
    int32_t inputRow;
  } kLayouts[] = {{40, 3, 5}, {7, 3, 5}, {6, 2, 3}, {3, 2, 3}, {2, 1, 2}, {1, 0, 1}, {0, 0, 1}};
  for (const auto& c : kLayouts) {
    EXPECT_EQ(LayoutFor(c.rows).responseRow, c.responseRow) << c.rows;
    EXPECT_EQ(LayoutFor(c.rows).inputRow, c.inputRow) << c.rows;
    ScreenView view;
    view.rows = c.rows;
    view.columns = c.rows % 4;  // 0 to 3 columns
    view.input = "日本語";
    view.cursorColumn = 6;
    view.response = "答え";
    view.boxOpen = c.rows % 2 == 0;
    view.boxCaption = "内容";
    view.boxText = "答え";
    EXPECT_FALSE(ComposeFrame(view).empty());
  }
}

#ifdef MIMOZA_PROGRAM

using Clock = std::chrono::steady_clock;
constexpr auto kWait = std::chrono::seconds(10);

// PtyProgram: the built program on the far side of a pseudo-terminal, with everything it wrote.
class PtyProgram {
 public:
  bool Start(const std::string& dir, const char* seed) {
    winsize size = {};
    size.ws_row = 24;
    size.ws_col = 80;
    pid = forkpty(&master, nullptr, nullptr, &size);
    if (pid == 0) {
      setenv("TERM", "xterm-256color", 1);
      const rlimit noCore = {0, 0};  // the signal cases need no core files
      setrlimit(RLIMIT_CORE, &noCore);
      execl(MIMOZA_PROGRAM, "mimoza", "--dir", dir.c_str(), "--seed", seed,
            static_cast<char*>(nullptr));
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

// ExpectRestored: the program's exit left the mode sequences undone and the pseudo-terminal in
// the cooked modes it started in.
void ExpectRestored(const PtyProgram& program, const char* how) {
  const std::string& out = program.Output();
  ASSERT_GE(out.size(), 7u) << how;
  EXPECT_EQ(out.substr(out.size() - 7), "\x1b[23;0t") << how << ": title popped last";
  EXPECT_NE(out.find("\x1b[<u\x1b[?25h\x1b[?1049l"), std::string::npos)
      << how << ": keyboard protocol popped, cursor shown, main screen back";
  termios after = {};
  ASSERT_EQ(tcgetattr(program.Master(), &after), 0) << how;
  EXPECT_EQ(after.c_lflag & (ECHO | ICANON | ISIG), tcflag_t{ECHO | ICANON | ISIG}) << how;
  EXPECT_EQ(after.c_iflag & ICRNL, tcflag_t{ICRNL}) << how;
  EXPECT_EQ(after.c_oflag & OPOST, tcflag_t{OPOST}) << how;
}

TEST(InteractiveTest, ConversationUnderAPseudoTerminal) {
  char pattern[] = "/tmp/mimoza_interactive_XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  {
    PtyProgram program;
    ASSERT_TRUE(program.Start(dir, "7"));
    ASSERT_TRUE(program.ReadUntil("\x1b]0;ミモザ\x07")) << program.Output();  // terminal title
    ASSERT_TRUE(program.ReadUntil("\x1b[1mミモザ")) << program.Output();      // heading
    // Without Boke.dat an unknown line of four bytes or more is offered for learning.
    program.Type("こんにちは");
    ASSERT_TRUE(program.ReadUntil("> こんにちは\x1b[K")) << program.Output();
    ASSERT_TRUE(program.ReadUntil("\x1b[5;13H")) << "cursor after five wide characters";
    program.Type("\r");
    ASSERT_TRUE(program.ReadUntil("覚えていい？")) << program.Output();
    program.Type("はい\r");
    ASSERT_TRUE(program.ReadUntil("何て言えばいい？")) << program.Output();
    program.Type("やあ\r");
    ASSERT_TRUE(program.ReadUntil("OK 学習した")) << program.Output();
    // Alt+Enter on the learned line submits it with Ctrl: an offer to add an answer.
    program.Type("こんにちは\x1b\r");
    ASSERT_TRUE(program.ReadUntil("情報を新たに加える？")) << program.Output();
    // F2 shows the whole last response in the box; any key closes it and is not typed.
    program.Type("\x1bOQ");
    ASSERT_TRUE(program.ReadUntil("┌─ 内容 ")) << program.Output();
    ASSERT_TRUE(program.ReadUntil("│ 情報を新たに加える？ │")) << program.Output();
    program.Type("x");
    ASSERT_TRUE(program.ReadUntil("> \x1b[K")) << program.Output();
    // A No clears the response line; a click on it still shows what this turn found.
    program.Type("いいえ、こんにちは\r");
    ASSERT_TRUE(program.ReadUntil("\x1b[3;1H\x1b[K")) << program.Output();
    program.Type("\x1b[<0;4;3M\x1b[<0;4;3m");
    ASSERT_TRUE(program.ReadUntil("│ やあ")) << program.Output();
    // A resize redraws at the new size.
    winsize taller = {};
    taller.ws_row = 30;
    taller.ws_col = 80;
    ASSERT_EQ(ioctl(program.Master(), TIOCSWINSZ, &taller), 0);
    ASSERT_TRUE(program.ReadUntil("\x1b[30;1H\x1b[K")) << program.Output();
    program.Type("q\x04");

    const int status = program.Finish();
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ExpectRestored(program, "Ctrl+D");
  }
  std::filesystem::remove_all(dir);
}

// Every other way out restores the terminal too: Ctrl+C ends with 0, a signal ends the program
// as that signal would, after the restore.
TEST(InteractiveTest, EveryWayOutRestoresTheTerminal) {
  const struct {
    const char* how;
    const char* keys;  // typed, when not null
    int signal;        // sent, when keys is null
  } kCases[] = {
      {"Ctrl+C", "abc\x03", 0},
      {"Ctrl+C, kitty", "\x1b[99;5u", 0},
      {"Ctrl+D after clearing the line", "a\x7f\x04", 0},
      {"SIGTERM", nullptr, SIGTERM},
      {"SIGHUP", nullptr, SIGHUP},
      {"SIGINT", nullptr, SIGINT},
      {"SIGQUIT", nullptr, SIGQUIT},
  };
  char pattern[] = "/tmp/mimoza_interactive_XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  for (const auto& c : kCases) {
    PtyProgram program;
    ASSERT_TRUE(program.Start(dir, "1")) << c.how;
    ASSERT_TRUE(program.ReadUntil("\x1b[5;3H")) << c.how << program.Output();
    if (c.keys != nullptr) {
      program.Type(c.keys);
    } else {
      kill(program.Pid(), c.signal);
    }
    const int status = program.Finish();
    if (c.keys != nullptr) {
      ASSERT_TRUE(WIFEXITED(status)) << c.how << " " << status;
      EXPECT_EQ(WEXITSTATUS(status), 0) << c.how;
    } else {
      ASSERT_TRUE(WIFSIGNALED(status)) << c.how << " " << status;
      EXPECT_EQ(WTERMSIG(status), c.signal) << c.how;
    }
    ExpectRestored(program, c.how);
  }
  std::filesystem::remove_all(dir);
}

#endif  // MIMOZA_PROGRAM

}  // namespace
}  // namespace mimoza
