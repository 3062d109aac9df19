// terminal/faces/interactive.cpp: key presses on the controlling terminal -> engine turns -> screen
// refreshes, for as long as the user talks.
// Leaves this file: RunInteractive. The raw-mode pair (EnterTerminal, RestoreTerminal), the
// signal handlers (job control among them), TurnWatch (Ctrl+C during a turn) and
// InteractiveSession (the engine's host here, with the transcript and the turns of earlier
// sessions, the first screen's line, the box, the record of the last turn and F4's question on
// it, the history file and the order in which Esc leaves modes) is private.
// Tested by tests/terminal/interactive_test.cpp, which runs the program under a pseudo-terminal.
#include "terminal/faces/interactive.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "conversation/conversation.h"
#include "conversation/take_back_words.h"
#include "knowledge/dictionary_store.h"
#include "terminal/common/data_directory.h"
#include "terminal/common/encoding.h"
#include "terminal/common/explanation.h"
#include "terminal/common/history.h"
#include "terminal/common/safe_text.h"
#include "terminal/common/store_words.h"
#include "terminal/common/transcript_store.h"
#include "terminal/common/words.h"
#include "terminal/faces/charset.h"
#include "terminal/faces/line_editor.h"
#include "terminal/faces/screen.h"

namespace mimoza {
namespace {

// How long the input may pause inside an escape sequence before it counts as finished: long
// enough for a sequence split over a slow link, short enough that Esc feels immediate.
constexpr int kEscapeTimeoutMs = 200;
// Rows (in the transcript) or lines (in the box) that one notch of the mouse wheel moves, as
// most terminal programs do.
constexpr int32_t kWheelRows = 3;

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

void Wake(char byte) {
  if (write(gWakePipe[1], &byte, 1) < 0) {
    // The pipe is full: a redraw is already due.
  }
}

void OnWakeSignal(int signalNumber) {
  const int savedErrno = errno;
  Wake(signalNumber == SIGCONT ? 'c' : 'w');
  errno = savedErrno;
}

// OnStopSignal: Ctrl+Z (read as a key and sent on as SIGTSTP) or a stop from outside. The
// terminal is given back as the shell expects it (modes, main screen, no mouse reports), the
// process stops, and once continued it takes the terminal again and the loop redraws. Where
// job control is off (an orphaned process group) the stop is discarded and this only redraws.
void OnStopSignal(int) {
  const int savedErrno = errno;
  const bool entered = gTerminalEntered != 0;
  RestoreTerminal();
  struct sigaction stop = {};
  struct sigaction ours = {};
  sigemptyset(&stop.sa_mask);
  stop.sa_handler = SIG_DFL;
  sigaction(SIGTSTP, &stop, &ours);
  sigset_t tstp;
  sigemptyset(&tstp);
  sigaddset(&tstp, SIGTSTP);
  sigprocmask(SIG_UNBLOCK, &tstp, nullptr);
  raise(SIGTSTP);  // stopped here until continued
  // Blocked again before the handler is back, so a second stop cannot enter twice.
  sigprocmask(SIG_BLOCK, &tstp, nullptr);
  sigaction(SIGTSTP, &ours, nullptr);
  if (entered) EnterTerminal();
  Wake('c');
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
  action.sa_handler = OnStopSignal;
  sigaction(SIGTSTP, &action, nullptr);
}

// WriteFrame: one refresh in one write. A stop is held off meanwhile, so it cannot land inside
// an escape sequence and leave half of one on the shell's screen.
void WriteFrame(const std::string& frame) {
  sigset_t tstp;
  sigset_t before;
  sigemptyset(&tstp);
  sigaddset(&tstp, SIGTSTP);
  sigprocmask(SIG_BLOCK, &tstp, &before);
  WriteAll(STDOUT_FILENO, frame.data(), frame.size());
  sigprocmask(SIG_SETMASK, &before, nullptr);
}

// TurnWatch: while a turn runs, a thread of its own reads the terminal, so that Ctrl+C abandons
// the turn at once (Conversation::RequestAbandon) instead of waiting for it to end; every byte
// it read is handed back to the loop afterwards, in order. Without a thread (none could be
// started) the turn simply runs to its end, as Ctrl+C is then read after it.
class TurnWatch {
 public:
  explicit TurnWatch(Conversation& watched) : conversation(watched) {
    if (pipe(stopPipe) != 0) return;
    // The thread takes no signal: the handlers expect to run on the loop's thread.
    sigset_t all;
    sigset_t before;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &before);
    try {
      reader = std::thread([this] { Read(); });
    } catch (const std::system_error&) {
      // Unwatched.
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
  }
  TurnWatch(const TurnWatch&) = delete;
  TurnWatch& operator=(const TurnWatch&) = delete;
  ~TurnWatch() {
    Stop();
    for (int fd : stopPipe) {
      if (fd >= 0) close(fd);
    }
  }

  // Finish: stops the watch; returns the bytes read meanwhile. *interrupted: Ctrl+C was among
  // them (the bytes after it are dropped: the session ends).
  std::string Finish(bool* interrupted) {
    Stop();
    *interrupted = sawInterrupt;
    return std::move(bytes);
  }

 private:
  void Stop() {
    if (!reader.joinable()) return;
    const char byte = 's';
    if (write(stopPipe[1], &byte, 1) < 0) {
      // The reader sees the pipe closed below instead; it never blocks for long.
    }
    reader.join();
  }

  // Read: the thread: bytes as the terminal sends them, decoded only to find Ctrl+C.
  void Read() {
    KeyDecoder decoder;
    char buffer[256];
    for (;;) {
      pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {stopPipe[0], POLLIN, 0}};
      if (poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if ((fds[1].revents & POLLIN) != 0 || (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
        return;
      }
      const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
      if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (got <= 0) return;
      bytes.append(buffer, static_cast<size_t>(got));
      for (ssize_t i = 0; i < got; ++i) {
        if (decoder.Feed(static_cast<unsigned char>(buffer[i])).kind == KeyInterrupt) {
          sawInterrupt = true;
          conversation.RequestAbandon();
          return;
        }
      }
    }
  }

  Conversation& conversation;
  int stopPipe[2] = {-1, -1};
  std::thread reader;
  std::string bytes;          // written by the thread, read once it is joined
  bool sawInterrupt = false;  // likewise
};

// InteractiveSession: the engine's host on a terminal. The engine's texts are code page 932;
// the view keeps them as UTF-8 for the screen, and the charset (when the terminal's locale is
// not UTF-8) converts at the terminal's edge.
class InteractiveSession : public ConversationHost {
 public:
  InteractiveSession(const InteractiveOptions& options, TerminalCharset* terminalCharset)
      : conversation(*this), charset(terminalCharset), saveHistory(options.history) {
    view.ascii = charset != nullptr;
    // A terminal that cannot show Japanese is told so, and everything else, in English.
    view.language =
        charset != nullptr && !charset->Shows(U'あ') ? LanguageEnglish : TerminalLanguage();
    conversation.SetTurnObserver(&lastTurn);
  }
  int Run();

  void SetTitle(const char* text) override {
    view.title = ToUtf8(text != nullptr ? text : "");
    titleChanged = true;
  }
  void SetResponseLine(const char* text) override {
    const std::string line = text != nullptr ? ToUtf8(text) : "";
    view.transcript.Add(line.empty() ? EntryCleared : EntryResponse, line);
  }
  void SetInputText(const char* text) override {
    editor.SetText(text != nullptr ? ToUtf8(text) : "");
  }
  bool IsControlKeyDown() override { return controlDown; }
  void ShowInfoBox(const char* caption, const char* text) override {
    OpenBox(ToUtf8(caption != nullptr ? caption : ""), ToUtf8(text != nullptr ? text : ""));
  }
  void StoreFailed(int error) override {
    ShowNotice(ShownText(StoreFailureWords(view.language, error)));
  }

 private:
  void ShowNotice(std::string text);
  void OpenBox(std::string caption, std::string text);
  void LoadHistoryFile();
  std::string SaveToHistory(const std::string& line);
  void LoadEarlierTurns();
  std::string SaveTurn(const std::string& line, size_t firstResponse);
  bool HandleKey(const Key& key);
  void CancelInnermostMode();
  void HandleBoxKey(const Key& key);
  void OfferForget();
  std::string DescribePlan() const;
  void AnswerForget(bool yes);
  void Click(int32_t row);
  bool Submit(const EditorAction& action);
  void Feed(const char* bytes, size_t size, bool* quit);
  void ReadScreenSize();
  void Refresh();

  Conversation conversation;
  TurnRecorder lastTurn;  // how the last turn ran, for the "なぜ" box
  LineEditor editor;
  ScreenView view;
  TerminalCharset* charset;  // null when the terminal speaks UTF-8
  bool saveHistory;
  std::string historyPath;     // empty: no history file this session
  std::string transcriptPath;  // empty: the turns are not kept for the next session
  std::string dataDir;         // the data directory's real path, which names its transcript
  bool stateNoticed = false;   // a failed write of either file was told once; later ones are not
  bool controlDown = false;    // the Ctrl flag of the submission being handled
  bool titleChanged = false;
  std::string typedDuringTurn;  // what the terminal sent while a turn ran, not yet handled
  ForgetPlan forgetPlan;        // what the box asks whether to forget
  bool askingForget = false;    // the box asks it; y forgets, any other key keeps
  bool turnForgotten = false;   // what the last turn showed is forgotten: F4 has nothing more
};

int InteractiveSession::Run() {
  ReadScreenSize();
  if (saveHistory) LoadEarlierTurns();
  conversation.OpenConversation();
  if (charset != nullptr && !charset->Shows(U'あ')) {
    ShowNotice(Words(view.language, MsgNoJapanese, {charset->Name()}));
  }
  if (saveHistory) LoadHistoryFile();
  view.transcript.Add(EntryIntro, Words(view.language, MsgFirstScreen));
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
        // Back from a stop: the shell may have changed the modes, and the title was given back.
        ReapplyRawModes();
        titleChanged = true;
      }
      ReadScreenSize();
      Refresh();
    }
    if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
      const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
      if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (got < 0) return 1;
      if (got == 0) return 0;  // the terminal is gone: as good as Ctrl+D
      bool quit = false;
      Feed(buffer, static_cast<size_t>(got), &quit);
      // What was typed during a turn comes after the rest of the bytes read before it.
      while (!quit && !typedDuringTurn.empty()) {
        const std::string typed = std::move(typedDuringTurn);
        typedDuringTurn.clear();
        Feed(typed.data(), typed.size(), &quit);
      }
      if (quit) return 0;
      Refresh();
    }
  }
}

// Feed: bytes read from the terminal, as keys; *quit is set when one ends the session.
void InteractiveSession::Feed(const char* bytes, size_t size, bool* quit) {
  std::string converted;
  if (charset != nullptr) {
    converted = charset->ToUtf8(std::string_view(bytes, size));
    bytes = converted.data();
    size = converted.size();
  }
  for (size_t i = 0; i < size && !*quit; ++i) {
    *quit = HandleKey(editor.Decode(static_cast<unsigned char>(bytes[i])));
  }
}

// ShowNotice: the one place the program says something of its own: a line in the transcript.
void InteractiveSession::ShowNotice(std::string text) {
  view.transcript.Add(EntryNotice, std::move(text));
}

void InteractiveSession::OpenBox(std::string caption, std::string text) {
  view.boxCaption = std::move(caption);
  view.boxText = std::move(text);
  view.boxScroll = 0;
  view.boxOpen = true;
}

// LoadHistoryFile: the lines of earlier sessions, so Up reaches them; a file that cannot be
// read is a notice, and the session goes on without them.
void InteractiveSession::LoadHistoryFile() {
  historyPath = HistoryPath();
  if (historyPath.empty()) {
    ShowNotice(Words(view.language, MsgHistoryOff));
    return;
  }
  std::vector<std::string> lines;
  std::string error;
  if (!LoadHistory(historyPath, &lines, &error)) {
    ShowNotice(Words(view.language, MsgHistoryNotLoaded, {error}));
  }
  for (const std::string& line : lines) editor.Remember(line);
}

// SaveToHistory: appends the line as it is submitted, so a crash loses nothing already sent.
// Returns the notice for the first failure (the line is still in this session's history), told
// after the turn; empty otherwise.
std::string InteractiveSession::SaveToHistory(const std::string& line) {
  std::string error;
  if (historyPath.empty() || AppendHistory(historyPath, line, &error) || stateNoticed) return {};
  stateNoticed = true;
  return Words(view.language, MsgHistoryNotSaved, {error});
}

// LoadEarlierTurns: the last turns of the sessions before this one on this data directory, faint,
// as many whole turns as one screen of the transcript shows (an entry takes a row at least), above
// a divider with the date of the last of them. A file that cannot be read is a notice.
void InteractiveSession::LoadEarlierTurns() {
  transcriptPath = TranscriptPath(".", &dataDir);
  if (transcriptPath.empty()) return;  // no state directory: the history's notice tells
  std::vector<StoredEntry> stored;
  std::string error;
  if (!LoadTranscript(transcriptPath, dataDir, &stored, &error)) {
    ShowNotice(Words(view.language, MsgTurnsNotShown, {error}));
    return;
  }
  const auto room = static_cast<size_t>(std::max(1, TranscriptPageRows(view) - 1));
  size_t first = stored.size();
  for (size_t i = stored.size(); i-- > 0 && stored.size() - i <= room;) {
    if (stored[i].kind == StoredLine) first = i;
  }
  if (first == stored.size()) return;
  for (size_t i = first; i < stored.size(); ++i) {
    const StoredEntry& from = stored[i];
    const EntryKind kind = from.kind == StoredLine       ? EntryUser
                           : from.kind == StoredResponse ? EntryResponse
                                                         : EntryCleared;
    TranscriptEntry& entry = view.transcript.Add(kind, kind == EntryCleared ? "" : from.text);
    if (kind == EntryCleared) entry.whole = from.text;
    entry.earlier = true;
  }
  view.transcript.Add(EntryDivider, StoredTimeText(stored.back().time));
}

// SaveTurn: appends the turn just run (the line and the responses from firstResponse on; the
// program's notices are not kept) to the transcript, for the next session. Returns the notice
// for the first failure of a state file, empty otherwise.
std::string InteractiveSession::SaveTurn(const std::string& line, size_t firstResponse) {
  if (transcriptPath.empty()) return {};
  const int64_t now = std::time(nullptr);
  std::vector<StoredEntry> turn = {{StoredLine, now, line}};
  const std::deque<TranscriptEntry>& entries = view.transcript.Entries();
  for (size_t i = firstResponse; i < entries.size(); ++i) {
    if (entries[i].kind == EntryResponse) turn.push_back({StoredResponse, now, entries[i].text});
    if (entries[i].kind == EntryCleared) turn.push_back({StoredCleared, now, entries[i].whole});
  }
  std::string error;
  if (AppendTurn(transcriptPath, dataDir, turn, &error) || stateNoticed) return {};
  stateNoticed = true;
  return Words(view.language, MsgTurnsNotSaved, {error});
}

// HandleKey: one key; returns true when it ends the session. While the box is shown, keys
// scroll or close it (HandleBoxKey), except Ctrl+C, which still quits, and Ctrl+Z, which still
// suspends.
bool InteractiveSession::HandleKey(const Key& key) {
  if (key.kind == KeyNone) return false;
  if (key.kind == KeyEscape || key.kind == KeyCancel) {
    CancelInnermostMode();
    return false;
  }
  if (view.boxOpen && key.kind != KeyInterrupt && key.kind != KeySuspend) {
    HandleBoxKey(key);
    return false;
  }
  const EditorAction action = editor.Apply(key);
  switch (action.kind) {
    case ActQuit:
      return true;
    case ActSubmit:
      view.transcriptScroll = 0;
      return Submit(action);
    case ActEdited:
      view.transcriptScroll = 0;  // typing brings the newest turn back into view
      break;
    case ActShowLast:
      conversation.ShowLastResponse();
      break;
    case ActForget:
      OfferForget();
      break;
    case ActWhy:
      if (lastTurn.started) {
        OpenBox(kWhyCaption, ShownText(DescribeTurn(lastTurn, view.language)));
      } else {
        ShowNotice(Words(view.language, MsgNoWhyYet));
      }
      break;
    case ActClick:
      Click(action.y);
      break;
    case ActPageUp:
    case ActPageDown: {
      // A page keeps one row of the last one in view, to read on from.
      const int32_t page = std::max(1, TranscriptPageRows(view) - 1);
      ScrollTranscript(view, action.kind == ActPageUp ? page : -page);
      break;
    }
    case ActWheelUp:
    case ActWheelDown:
      ScrollTranscript(view, action.kind == ActWheelUp ? kWheelRows : -kWheelRows);
      break;
    case ActSuspend:
      kill(0, SIGTSTP);  // the whole job stops, as when the terminal sends it
      break;
    case ActRedraw:
      titleChanged = true;
      break;
    case ActNone:
      break;
  }
  return false;
}

// CancelInnermostMode: what Esc and Ctrl+G do, to the innermost mode only: close an open box,
// else leave a reverse search (the line comes back as it was before it), else drop a pending
// learning dialogue. On an idle line they do nothing.
void InteractiveSession::CancelInnermostMode() {
  if (view.boxOpen) {
    if (askingForget) {
      AnswerForget(false);
    } else {
      view.boxOpen = false;
    }
    return;
  }
  if (editor.CancelSearch()) return;
  // The engine says nothing of it, so the transcript does; the line being typed is left alone.
  if (conversation.CancelDialogue()) {
    view.transcript.Add(EntryAside, Words(view.language, MsgDialogueDropped));
    view.transcriptScroll = 0;
  }
}

// HandleBoxKey: arrows, Page Up/Down, Home/End and the wheel scroll the box; any other key
// closes it and does nothing else, except a paste marker, which the line still needs so pasted
// line breaks do not submit.
void InteractiveSession::HandleBoxKey(const Key& key) {
  if (askingForget && key.kind == KeyChar && (key.codePoint == U'y' || key.codePoint == U'Y')) {
    AnswerForget(true);
    return;
  }
  const int32_t page = std::max(1, BoxPageRows(view) - 1);
  switch (key.kind) {
    case KeyUp:
      ScrollBox(view, -1);
      return;
    case KeyDown:
      ScrollBox(view, 1);
      return;
    case KeyPageUp:
      ScrollBox(view, -page);
      return;
    case KeyPageDown:
      ScrollBox(view, page);
      return;
    case KeyWheelUp:
      ScrollBox(view, -kWheelRows);
      return;
    case KeyWheelDown:
      ScrollBox(view, kWheelRows);
      return;
    case KeyHome:
      view.boxScroll = 0;
      return;
    case KeyEnd:
      ScrollBox(view, INT32_MAX);
      return;
    case KeyPasteStart:
    case KeyPasteEnd:
      editor.Apply(key);
      break;
    default:
      break;
  }
  if (askingForget) {
    AnswerForget(false);
  } else {
    view.boxOpen = false;
  }
}

// OfferForget: F4: asks in the box whether to forget what the last turn showed of the dictionary;
// a notice when it showed nothing of it, or the file no longer holds it.
void InteractiveSession::OfferForget() {
  forgetPlan = ForgetPlan();
  const ShownEntry shown = turnForgotten ? ShownNothing : PlanForgetShown(lastTurn, &forgetPlan);
  if (shown == ShownNothing) {
    ShowNotice(Words(view.language, MsgNothingToForget));
  } else if (shown == ShownGone) {
    ShowNotice(Words(view.language, MsgForgetGone));
  } else if (forgetPlan.problem != ForgetFine) {
    ShowNotice(ShownText(StoreResultWords(forgetPlan.result, view.language)));
  } else {
    OpenBox(Words(view.language, MsgForgetCaption), DescribePlan());
    askingForget = true;
    return;
  }
  view.transcriptScroll = 0;
}

// DescribePlan: the question's text: what goes, line by line, and the keys that answer it, as
// every face asks it; then the keys that answer here.
std::string InteractiveSession::DescribePlan() const {
  return ShownText(ForgetQuestion(forgetPlan, view.language)) + "\n" +
         Words(view.language, MsgForgetYesNo);
}

// AnswerForget: the answer to the box's question: yes forgets (with a backup) and says where the
// file as it was is kept; no keeps it. Either way the box closes and the transcript says what
// happened.
void InteractiveSession::AnswerForget(bool yes) {
  askingForget = false;
  view.boxOpen = false;
  view.transcriptScroll = 0;
  if (!yes) {
    ShowNotice(Words(view.language, MsgNotForgotten));
    return;
  }
  const StoreResult result = ApplyForget(forgetPlan, ReplaceOptions());
  if (result.status != StoreDone) {
    ShowNotice(ShownText(StoreResultWords(result, view.language)));
    return;
  }
  turnForgotten = true;
  // The answers are the file's (code page 932), the backup's path the system's (UTF-8).
  std::string answers;
  for (const ForgottenEntry& entry : forgetPlan.entries) {
    for (const PlacedText& answer : entry.answers) {
      answers += Words(view.language, MsgQuoted, {ShownText(OneLine(answer.text))});
    }
  }
  ShowNotice(Words(view.language, MsgForgotten,
                   {answers, SanitizeLine(WorkingDirectory()) + "/" + result.backup}));
}

// Click: a response of the newest turn shows the engine's whole last response, as F2 does; an
// older response shows what its own turn drew, in the same box.
void InteractiveSession::Click(int32_t row) {
  const int32_t index = EntryAtRow(view, row);
  if (index < 0) return;
  const TranscriptEntry& entry = view.transcript.Entries()[static_cast<size_t>(index)];
  if (entry.kind != EntryResponse && entry.kind != EntryCleared) return;
  if (entry.turn == view.transcript.NewestTurn() && !entry.earlier) {
    conversation.ShowLastResponse();
  } else if (!entry.whole.empty() || !entry.text.empty()) {
    OpenBox(ToUtf8(kInfoCaption), entry.whole.empty() ? entry.text : entry.whole);
  }
}

// Submit: the line goes to the engine as code page 932, cut to what the engine takes; a line
// that is empty then runs nothing. It joins the transcript and the history file as typed.
// Returns true when Ctrl+C came during the turn: the turn was abandoned and the session ends,
// as Ctrl+C ends it at any other time.
bool InteractiveSession::Submit(const EditorAction& action) {
  const std::string line = PrepareLine(action.line);
  if (line.empty()) return false;
  // The first screen's line has said its piece once the user talks.
  std::deque<TranscriptEntry>& shown = view.transcript.Entries();
  shown.erase(std::remove_if(shown.begin(), shown.end(),
                             [](const TranscriptEntry& entry) { return entry.kind == EntryIntro; }),
              shown.end());
  turnForgotten = false;
  const std::string problem = action.remembered && saveHistory ? SaveToHistory(action.line) : "";
  view.transcript.Add(EntryUser, action.line);
  const size_t before = view.transcript.Entries().size();
  controlDown = action.ctrl;
  bool interrupted = false;
  {
    TurnWatch watch(conversation);
    conversation.SubmitLine(line.c_str());
    typedDuringTurn += watch.Finish(&interrupted);
  }
  controlDown = false;
  if (interrupted) return true;
  // What this turn drew, for a click on its response once it is older; kept only where it
  // differs from what the response line showed.
  const std::string drawn = ToUtf8(conversation.LastResponse());
  std::deque<TranscriptEntry>& entries = view.transcript.Entries();
  for (size_t i = before; i < entries.size(); ++i) {
    if ((entries[i].kind == EntryResponse || entries[i].kind == EntryCleared) &&
        entries[i].text != drawn) {
      entries[i].whole = drawn;
    }
  }
  const std::string turnProblem = SaveTurn(action.line, before);
  if (!problem.empty()) ShowNotice(problem);
  if (!turnProblem.empty()) ShowNotice(turnProblem);
  return false;
}

void InteractiveSession::ReadScreenSize() {
  winsize size = {};
  const bool known = ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0;
  view.rows = known && size.ws_row > 0 ? size.ws_row : 24;
  view.columns = known && size.ws_col > 0 ? size.ws_col : 80;
  ScrollTranscript(view, 0);
  ScrollBox(view, 0);
}

// Refresh: the whole screen, and the title when it changed, in one write, in the terminal's
// charset.
void InteractiveSession::Refresh() {
  view.input = editor.Text();
  view.cursorColumn = editor.CursorColumn();
  view.searching = editor.Searching();
  view.searchText = editor.SearchText();
  view.searchFailed = editor.SearchFailed();
  view.dialoguePending = conversation.State() != Idle;
  view.boxAsks = view.boxOpen && askingForget;
  std::string frame = titleChanged ? TitleSequence(view.title) : std::string();
  titleChanged = false;
  frame += ComposeFrame(view);
  WriteFrame(charset != nullptr ? charset->FromUtf8(frame) : frame);
}

}  // namespace

int RunInteractive(const InteractiveOptions& options) {
  // The face works in UTF-8 whatever the terminal speaks, and display widths come from wcwidth,
  // which knows wide characters only under a UTF-8 locale; a terminal of another charset gets
  // its own bytes at the edge.
  const std::string charsetName = LocaleCharset();
  std::unique_ptr<TerminalCharset> charset;
  if (!IsUtf8Charset(charsetName)) {
    charset = std::make_unique<TerminalCharset>();
    charset->Open(charsetName);  // one iconv cannot open is shown as ASCII
  }
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
  const int code = InteractiveSession(options, charset.get()).Run();
  RestoreTerminal();
  return code;
}

}  // namespace mimoza
