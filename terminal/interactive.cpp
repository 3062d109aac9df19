// terminal/interactive.cpp: key presses on the controlling terminal -> engine turns -> screen
// refreshes, for as long as the user talks.
// Leaves this file: RunInteractive. The raw-mode pair (EnterTerminal, RestoreTerminal), the
// signal handlers and InteractiveSession (the engine's host here) are private.
// Tested by tests/terminal/interactive_test.cpp, which runs the program under a pseudo-terminal.
#include "terminal/interactive.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "conversation/conversation.h"
#include "terminal/encoding.h"
#include "terminal/line_editor.h"
#include "terminal/screen.h"

namespace mimoza {
namespace {

// How long the input may pause inside an escape sequence before it counts as finished: long
// enough for a sequence split over a slow link, short enough that Esc feels immediate.
constexpr int kEscapeTimeoutMs = 200;

// Modes turned on while we run, and their reverse in the opposite order. The title is pushed and
// popped so the shell's title comes back. The kitty keyboard stack belongs to each screen, so its
// push comes after switching to the alternate screen and its pop before leaving it.
constexpr char kEnterModes[] =
    "\x1b[22;0t"              // push the window title
    "\x1b[?1049h"             // alternate screen: the shell's screen comes back unchanged
    "\x1b[>1u"                // kitty keyboard protocol: report Ctrl+Enter as CSI 13 ; 5 u
    "\x1b[>4;1m"              // xterm modifyOtherKeys: report Ctrl+Enter as CSI 27 ; 5 ; 13 ~
    "\x1b[?1000h\x1b[?1006h"  // mouse button reports, in the SGR form
    "\x1b[?2004h";            // bracketed paste: pasted line breaks do not submit
constexpr char kLeaveModes[] =
    "\x1b[?2004l"
    "\x1b[?1006l\x1b[?1000l"
    "\x1b[>4m"
    "\x1b[<u"
    "\x1b[?25h"
    "\x1b[?1049l"
    "\x1b[23;0t";

// Process-wide because signal handlers and atexit can reach nothing else; the flag is a
// sig_atomic_t since a handler may read it at any moment.
termios gSavedModes;
volatile sig_atomic_t gTerminalEntered = 0;
int gWakePipe[2] = {-1, -1};  // signal handlers write one byte: 'w' resize, 'c' continued

// WriteAll: writes every byte, retrying after interruptions; async-signal-safe. Gives up on any
// other error, since nothing useful can be done about a terminal that refuses output.
void WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
}

// RawModes: no echo, no line buffering, no signals from keys (Ctrl+C and Ctrl+D arrive as
// bytes), no input or output translation, one byte at a time.
termios RawModes(const termios& saved) {
  termios raw = saved;
  raw.c_iflag &= ~static_cast<tcflag_t>(BRKINT | ICRNL | INPCK | ISTRIP | IXON);
  raw.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  raw.c_cflag |= CS8;
  raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON | IEXTEN | ISIG);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  return raw;
}

// EnterTerminal / RestoreTerminal: the one pair that changes the terminal. Restore undoes Enter
// once, whichever way out comes first (return, exit, signal); async-signal-safe.
bool EnterTerminal() {
  if (tcgetattr(STDIN_FILENO, &gSavedModes) != 0) return false;
  const termios raw = RawModes(gSavedModes);
  // Marked first, so a signal that lands in between still restores.
  gTerminalEntered = 1;
  if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) {
    gTerminalEntered = 0;
    return false;
  }
  WriteAll(STDOUT_FILENO, kEnterModes, sizeof kEnterModes - 1);
  return true;
}

void RestoreTerminal() {
  if (gTerminalEntered == 0) return;
  gTerminalEntered = 0;
  WriteAll(STDOUT_FILENO, kLeaveModes, sizeof kLeaveModes - 1);
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &gSavedModes);
}

// After a stop and continue the shell may have changed the modes back; they are set again.
void ReapplyRawModes() {
  if (gTerminalEntered == 0) return;
  const termios raw = RawModes(gSavedModes);
  tcsetattr(STDIN_FILENO, TCSANOW, &raw);
}

// OnEndSignal: restores the terminal, then lets the signal end the process as it would have.
void OnEndSignal(int signalNumber) {
  RestoreTerminal();
  std::signal(signalNumber, SIG_DFL);
  std::raise(signalNumber);
}

void OnWakeSignal(int signalNumber) {
  const int savedErrno = errno;
  const char byte = signalNumber == SIGCONT ? 'c' : 'w';
  if (write(gWakePipe[1], &byte, 1) < 0) {
    // The pipe is full: a redraw is already due.
  }
  errno = savedErrno;
}

void InstallSignalHandlers() {
  struct sigaction action = {};
  sigemptyset(&action.sa_mask);
  action.sa_handler = OnEndSignal;
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    sigaction(signalNumber, &action, nullptr);
  }
  action.sa_handler = OnWakeSignal;
  action.sa_flags = SA_RESTART;
  for (int signalNumber : {SIGWINCH, SIGCONT}) sigaction(signalNumber, &action, nullptr);
}

// InteractiveSession: the engine's host on a terminal. The engine's texts are code page 932;
// the view keeps them as UTF-8 for the screen.
class InteractiveSession : public ConversationHost {
 public:
  InteractiveSession() : conversation(*this) {}
  int Run();

  void SetTitle(const char* text) override {
    view.title = ToUtf8(text != nullptr ? text : "");
    titleChanged = true;
  }
  void SetResponseLine(const char* text) override {
    view.response = text != nullptr ? ToUtf8(text) : "";
  }
  void SetInputText(const char* text) override {
    editor.SetText(text != nullptr ? ToUtf8(text) : "");
  }
  bool IsControlKeyDown() override { return controlDown; }
  void ShowInfoBox(const char* caption, const char* text) override {
    view.boxCaption = ToUtf8(caption != nullptr ? caption : "");
    view.boxText = ToUtf8(text != nullptr ? text : "");
    view.boxOpen = true;
  }

 private:
  bool HandleKey(const Key& key);
  void Submit(const EditorAction& action);
  void ReadScreenSize();
  void Refresh();

  Conversation conversation;
  LineEditor editor;
  ScreenView view;
  bool controlDown = false;  // the Ctrl flag of the submission being handled
  bool titleChanged = false;
};

int InteractiveSession::Run() {
  ReadScreenSize();
  conversation.OpenConversation();
  Refresh();
  char buffer[4096];
  for (;;) {
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {gWakePipe[0], POLLIN, 0}};
    const int ready = poll(fds, 2, editor.Pending() ? kEscapeTimeoutMs : -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return 1;
    }
    if (ready == 0) {
      if (HandleKey(editor.FlushKey())) return 0;
      Refresh();
      continue;
    }
    if ((fds[1].revents & POLLIN) != 0) {
      char wake[64];
      const ssize_t got = read(gWakePipe[0], wake, sizeof wake);
      if (got > 0 && std::memchr(wake, 'c', static_cast<size_t>(got)) != nullptr) {
        ReapplyRawModes();
      }
      ReadScreenSize();
      Refresh();
    }
    if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
      const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
      if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (got < 0) return 1;
      if (got == 0) return 0;  // the terminal is gone: as good as Ctrl+D
      for (ssize_t i = 0; i < got; ++i) {
        if (HandleKey(editor.Decode(static_cast<unsigned char>(buffer[i])))) return 0;
      }
      Refresh();
    }
  }
}

// HandleKey: one key; returns true when it ends the session. While the box is shown, any key
// closes it and does nothing else, except Ctrl+C, which still quits, and a paste marker, which
// the line still needs so pasted line breaks do not submit.
bool InteractiveSession::HandleKey(const Key& key) {
  if (key.kind == KeyNone) return false;
  if (view.boxOpen && key.kind != KeyInterrupt) {
    if (key.kind == KeyPasteStart || key.kind == KeyPasteEnd) editor.Apply(key);
    view.boxOpen = false;
    return false;
  }
  const EditorAction action = editor.Apply(key);
  switch (action.kind) {
    case ActQuit:
      return true;
    case ActSubmit:
      Submit(action);
      break;
    case ActShowLast:
      conversation.ShowLastResponse();
      break;
    case ActClick:
      if (action.y == LayoutFor(view.rows).responseRow) conversation.ShowLastResponse();
      break;
    case ActRedraw:
      titleChanged = true;
      break;
    case ActNone:
    case ActEdited:
      break;
  }
  return false;
}

// Submit: the line goes to the engine as code page 932, cut to what the engine takes; a line
// that is empty then runs nothing.
void InteractiveSession::Submit(const EditorAction& action) {
  const std::string line = CutToLine(ToCp932(action.line));
  if (line.empty()) return;
  controlDown = action.ctrl;
  conversation.SubmitLine(line.c_str());
  controlDown = false;
}

void InteractiveSession::ReadScreenSize() {
  winsize size = {};
  const bool known = ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0;
  view.rows = known && size.ws_row > 0 ? size.ws_row : 24;
  view.columns = known && size.ws_col > 0 ? size.ws_col : 80;
}

// Refresh: the whole screen, and the title when it changed, in one write.
void InteractiveSession::Refresh() {
  view.input = editor.Text();
  view.cursorColumn = editor.CursorColumn();
  std::string frame = titleChanged ? TitleSequence(view.title) : std::string();
  titleChanged = false;
  frame += ComposeFrame(view);
  WriteAll(STDOUT_FILENO, frame.data(), frame.size());
}

}  // namespace

int RunInteractive() {
  // Display widths come from wcwidth, which knows wide characters only under a UTF-8 locale;
  // the terminal is taken to speak UTF-8 whatever the environment says.
  if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) std::setlocale(LC_CTYPE, "");
  if (pipe(gWakePipe) != 0) {
    std::fprintf(stderr, "mimoza: cannot set up the terminal: %s\n", std::strerror(errno));
    return 1;
  }
  for (int fd : gWakePipe) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  InstallSignalHandlers();
  std::atexit(RestoreTerminal);
  if (!EnterTerminal()) {
    std::fprintf(stderr, "mimoza: cannot set up the terminal: %s\n", std::strerror(errno));
    return 1;
  }
  const int code = InteractiveSession().Run();
  RestoreTerminal();
  return code;
}

}  // namespace mimoza
