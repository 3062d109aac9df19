// tests/terminal/interactive_test.cpp: the interactive face. The screen helpers and the
// transcript's layout through tables, the history file in a scratch folder; then the built
// program under a real pseudo-terminal: it types Japanese, teaches lines, scrolls, opens and
// scrolls the box, is suspended and continued, keeps its history across a restart and a kill,
// runs under a non-UTF-8 locale, and must leave the terminal as it found it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <iconv.h>
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
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "terminal/common/history.h"
#include "terminal/common/safe_text.h"
#include "terminal/common/transcript_store.h"
#include "terminal/faces/line_editor.h"
#include "terminal/faces/screen.h"
#include "tests/terminal/file_bytes.h"
#include "tests/terminal/pty_program.h"

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
      {"日", 1, {"日"}},                 // wider than the box: shown rather than lost
      {"ab cd ef", 5, {"ab cd", "ef"}},  // a full line breaks after its last space
      {"abc defgh", 4, {"abc", "defg", "h"}},
      {"a  b", 1, {"a", " ", "b"}},
      {" abc", 2, {" a", "bc"}},
      {"あいう。", 6, {"あい", "う。"}},  // a closing mark takes the character before it along
      {"。。", 2, {"。", "。"}},          // unless it stands alone
  };
  for (const auto& c : kWrapCases) {
    EXPECT_EQ(WrapToWidth(c.text, c.width), c.lines) << c.text << " in " << c.width;
  }
}

// Frames for the one-line input: the cursor must stay on screen, at its display column, and a
// faint mark ("<" and ">" in ASCII) takes the first or last cell where text is hidden there.
TEST_F(ScreenTest, InputScrollsToKeepTheCursorVisible) {
  const struct {
    const char* input;
    int32_t cursorColumn;
    bool ascii;
    const char* shown;
    const char* cursor;
  } kCases[] = {
      {"abc", 3, false, "> abc\x1b[K", "\x1b[7;6H"},
      {"こんにちは", 6, false, "> \x1b[2m…\x1b[0mんにち\x1b[2m…\x1b[0m\x1b[K", "\x1b[7;8H"},
      {"aaaaaaaaaaaaaaaaaaaa", 20, false, "> \x1b[2m…\x1b[0maaaaaa\x1b[K", "\x1b[7;10H"},
      {"aaaaaaaaaaaaaaaaaaaa", 2, false, "> aaaaaaa\x1b[2m…\x1b[0m\x1b[K", "\x1b[7;5H"},
      {"aaaaaaaaaaaaaaaaaaaa", 2, true, "> aaaaaaa\x1b[2m>\x1b[0m\x1b[K", "\x1b[7;5H"},
      {"あいうえおかき", 14, false, "> \x1b[2m…\x1b[0mおかき\x1b[K", "\x1b[7;10H"},
      {"あいうえおかき", 14, true, "> \x1b[2m<\x1b[0mおかき\x1b[K", "\x1b[7;10H"},
      // A wide character that would cover the last cell leaves it blank before the mark.
      {"あいうえおかき", 4, false, "> あいう \x1b[2m…\x1b[0m\x1b[K", "\x1b[7;7H"},
      {"abcdefghij", 8, false, "> \x1b[2m…\x1b[0mdefghij\x1b[K", "\x1b[7;9H"},
  };
  for (const auto& c : kCases) {
    ScreenView view;
    view.rows = 8;
    view.columns = 10;
    view.ascii = c.ascii;
    view.input = c.input;
    view.cursorColumn = c.cursorColumn;
    const std::string frame = ComposeFrame(view);
    EXPECT_NE(frame.find(c.shown), std::string::npos) << c.input << "\n" << frame;
    EXPECT_NE(frame.find(std::string(c.cursor) + "\x1b[?25h"), std::string::npos) << c.input;
  }
}

// During a reverse search the prompt tells what is searched for and the hints what keys do.
TEST_F(ScreenTest, SearchPromptShowsTheSearch) {
  ScreenView view;
  view.rows = 8;
  view.columns = 40;
  view.searching = true;
  view.searchText = "天気";
  view.input = "今日はいい天気ですね";
  view.cursorColumn = 10;
  std::string frame = ComposeFrame(view);
  EXPECT_NE(frame.find("\x1b[7;1Hsearch \"天気\": 今日はいい天気ですね\x1b[K"), std::string::npos)
      << frame;
  EXPECT_NE(frame.find("\x1b[7;26H\x1b[?25h"), std::string::npos) << "the cursor on the match";
  EXPECT_NE(frame.find("Ctrl+R: further back"), std::string::npos) << frame;
  view.searchFailed = true;
  view.searchText = "天気予";
  frame = ComposeFrame(view);
  EXPECT_NE(frame.find("\x1b[7;1Hnot found \"天気予\": 今日"), std::string::npos) << frame;
}

// The key bar keeps its order and drops the least needed items first; F3 and quitting stay.
TEST_F(ScreenTest, KeyBarDropsTheLeastNeededFirst) {
  const struct {
    Language language;
    int32_t columns;
    bool pending;
    const char* bar;
  } kCases[] = {
      {LanguageEnglish, 120, false,
       "Enter: send  Alt+Enter: add an answer  F2: read all  F3: why  F4: forget  "
       "PgUp/PgDn: scroll  ^D: quit"},
      {LanguageEnglish, 80, false,
       "Enter: send  Alt+Enter: add an answer  F3: why  F4: forget  ^D: quit"},
      {LanguageEnglish, 80, true, "Enter: send  F3: why  F4: forget  Esc: cancel  ^D: quit"},
      {LanguageEnglish, 40, false, "F3: why  F4: forget  ^D: quit"},
      {LanguageEnglish, 40, true, "F3: why  Esc: cancel  ^D: quit"},
      {LanguageEnglish, 16, false, "^D: quit"},
      {LanguageJapanese, 80, false,
       "Enter: 送信  Alt+Enter: 答えを追加  F2: 全文  F3: なぜ  F4: 忘れる  ^D: 終了"},
      {LanguageJapanese, 40, false, "F3: なぜ  F4: 忘れる  ^D: 終了"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(KeyBarText(c.language, c.columns, c.pending), c.bar)
        << c.columns << (c.pending ? " columns, pending" : " columns");
  }
  // Narrower than its last item, the bar is clipped on the screen.
  ScreenView view;
  view.columns = 5;
  EXPECT_NE(ComposeFrame(view).find("\x1b[24;1H\x1b[2m^D: …"), std::string::npos);
}

TEST_F(ScreenTest, BoxShowsTheWholeResponseWithItsCaption) {
  ScreenView view;
  view.rows = 24;
  view.columns = 40;
  view.boxOpen = true;
  view.boxCaption = "内容";
  view.boxText = "一行目\n二行目\n";
  std::string frame = ComposeFrame(view);
  EXPECT_NE(frame.find("┌─ 内容 ─┐"), std::string::npos) << frame;
  EXPECT_NE(frame.find("│ 一行目 │"), std::string::npos) << frame;
  EXPECT_NE(frame.find("│ 二行目 │"), std::string::npos) << frame;
  EXPECT_NE(frame.find("└────────┘"), std::string::npos) << frame;
  EXPECT_EQ(frame.find("\x1b[?25h"), std::string::npos) << "the cursor stays hidden under a box";

  // The same box where the terminal's charset lacks line drawing.
  view.ascii = true;
  view.boxText = "abc";
  frame = ComposeFrame(view);
  EXPECT_NE(frame.find("+- 内容 -+"), std::string::npos) << frame;
  EXPECT_NE(frame.find("| abc    |"), std::string::npos) << frame;
  EXPECT_NE(frame.find("+--------+"), std::string::npos) << frame;
}

TEST_F(ScreenTest, TinyScreensStillDraw) {
  const struct {
    int32_t rows;
    int32_t transcriptTop;
    int32_t transcriptBottom;
    int32_t inputRow;
  } kLayouts[] = {{40, 3, 37, 39}, {7, 3, 4, 6}, {6, 2, 4, 5}, {4, 2, 2, 3},
                  {3, 2, 2, 3},    {2, 1, 1, 2}, {1, 0, 0, 1}, {0, 0, 0, 1}};
  for (const auto& c : kLayouts) {
    const ScreenLayout layout = LayoutFor(c.rows);
    EXPECT_EQ(layout.transcriptTop, c.transcriptTop) << c.rows;
    EXPECT_EQ(layout.transcriptBottom, c.transcriptBottom) << c.rows;
    EXPECT_EQ(layout.inputRow, c.inputRow) << c.rows;
    ScreenView view;
    view.rows = c.rows;
    view.columns = c.rows % 4;  // 0 to 3 columns
    view.input = "日本語";
    view.cursorColumn = 6;
    view.transcript.Add(EntryUser, "質問");
    view.transcript.Add(EntryResponse, "答え");
    view.boxOpen = c.rows % 2 == 0;
    view.boxCaption = "内容";
    view.boxText = "答え";
    EXPECT_FALSE(ComposeFrame(view).empty());
    ScrollTranscript(view, 5);
    ScrollBox(view, 5);
    EXPECT_FALSE(ComposeFrame(view).empty());
    EXPECT_LE(view.transcriptScroll, 4) << "two entries take at most four rows";
    EXPECT_LE(view.boxScroll, 1) << "two characters take at most two lines";
  }
}

// DumpTranscript: the transcript area as LayOutTranscript fills it, one row per "|", a blank
// row as "_", each row led by the index of its entry.
std::string DumpTranscript(const ScreenView& view) {
  std::string dump;
  for (const TranscriptRow& row : LayOutTranscript(view)) {
    dump += row.entry < 0 ? "_" : std::to_string(row.entry) + ":" + row.text;
    dump += "|";
  }
  return dump;
}

// A transcript of two turns and a notice on an 11-column screen (9 for text), scrolled to each
// place; a wide character that no longer fits a row begins the next one.
TEST_F(ScreenTest, TranscriptWrapsByDisplayWidthAndScrolls) {
  ScreenView view;
  view.columns = 11;
  view.transcript.Add(EntryUser, "こんにちは");
  view.transcript.Add(EntryResponse, "覚えていい？");
  view.transcript.Add(EntryNotice, "History is off");
  view.transcript.Add(EntryUser, "a");
  view.transcript.Add(EntryCleared, "");
  const struct {
    int32_t rows;
    int32_t scroll;
    bool ascii;
    const char* dump;
  } kCases[] = {
      // 14 rows: a transcript area of 9 rows (3 to 11) holds all 8, a blank row above.
      {14, 0, false,
       "_|0:> こんにち|0:  は|1:  覚えてい|1:  い？|2:! History|2:  is off|3:> a|4:  ·|"},
      // 9 rows: 4 transcript rows; scrolled back by 2, and by more than it holds.
      {9, 0, false, "2:! History|2:  is off|3:> a|4:  ·|"},
      {9, 2, false, "1:  覚えてい|1:  い？|2:! History|2:  is off|"},
      {9, 99, false, "0:> こんにち|0:  は|1:  覚えてい|1:  い？|"},
      {9, 0, true, "2:! History|2:  is off|3:> a|4:  -|"},
  };
  for (const auto& c : kCases) {
    view.rows = c.rows;
    view.transcriptScroll = c.scroll;
    view.ascii = c.ascii;
    EXPECT_EQ(DumpTranscript(view), c.dump) << c.rows << " rows, scrolled " << c.scroll;
  }
  view.rows = 9;
  view.ascii = false;
  view.transcriptScroll = 0;
  // The newest turn is drawn in its looks (the user's line bold), older turns faint.
  const std::string frame = ComposeFrame(view);
  EXPECT_NE(frame.find("\x1b[2m! History\x1b[0m"), std::string::npos) << frame;
  EXPECT_NE(frame.find("\x1b[1m> a\x1b[0m"), std::string::npos) << frame;
  EXPECT_NE(frame.find("\x1b[2m  ·\x1b[0m"), std::string::npos) << frame;
}

TEST_F(ScreenTest, TranscriptKeepsTheNewestTurns) {
  Transcript transcript;
  transcript.Add(EntryNotice, "before the first turn");
  for (int64_t turn = 1; turn <= Transcript::kMaxTurns + 2; ++turn) {
    transcript.Add(EntryUser, std::to_string(turn));
    transcript.Add(EntryResponse, "answer");
  }
  EXPECT_EQ(transcript.Entries().size(), 2 * static_cast<size_t>(Transcript::kMaxTurns));
  EXPECT_EQ(transcript.Entries().front().text, "3");
  EXPECT_EQ(transcript.Entries().back().turn, Transcript::kMaxTurns + 2);
}

// Scratch: a folder of its own for one test, removed afterwards.
class Scratch {
 public:
  Scratch() {
    char pattern[] = "/tmp/mimoza_interactive_XXXXXX";
    if (mkdtemp(pattern) != nullptr) path = pattern;
  }
  ~Scratch() { std::filesystem::remove_all(path); }
  std::filesystem::path path;
};

TEST(HistoryTest, FileIsAppendedLoadedAndTrimmed) {
  Scratch scratch;
  const std::string path = (scratch.path / "state/mimoza/history").string();
  std::vector<std::string> lines = {"stale"};
  std::string error;
  EXPECT_TRUE(LoadHistory(path, &lines, &error)) << "a missing file is an empty history";
  EXPECT_TRUE(lines.empty());
  EXPECT_TRUE(AppendHistory(path, "こんにちは", &error)) << error;
  EXPECT_TRUE(AppendHistory(path, "はい", &error)) << error;
  EXPECT_FALSE(AppendHistory(path, "two\nlines", &error));
  EXPECT_EQ(ReadFile(path), "こんにちは\nはい\n");

  // A line cut short is neither loaded nor left to run into the next one.
  { std::ofstream(path, std::ios::app | std::ios::binary) << "cut"; }
  ASSERT_TRUE(AppendHistory(path, "next", &error)) << error;
  EXPECT_EQ(ReadFile(path), "こんにちは\nはい\ncut\nnext\n");
  { std::ofstream(path, std::ios::app | std::ios::binary) << "cut again"; }
  ASSERT_TRUE(LoadHistory(path, &lines, &error)) << error;
  EXPECT_EQ(lines, (std::vector<std::string>{"こんにちは", "はい", "cut", "next"}));
  EXPECT_EQ(ReadFile(path), "こんにちは\nはい\ncut\nnext\n") << "trimmed of the partial line";

  // A file grown past the limit is cut to its newest lines as it is loaded.
  for (size_t i = 0; i < LineEditor::kMaxHistory; ++i)
    AppendHistory(path, std::to_string(i), &error);
  ASSERT_TRUE(LoadHistory(path, &lines, &error)) << error;
  EXPECT_EQ(lines.size(), LineEditor::kMaxHistory);
  EXPECT_EQ(lines.front(), "0");
  EXPECT_EQ(SplitHistory(ReadFile(path)), lines);
}

// DumpStored: entries as "L17:text|", one after the other.
std::string DumpStored(const std::vector<StoredEntry>& entries) {
  std::string dump;
  for (const StoredEntry& entry : entries) {
    dump += std::string(1, "LRC"[entry.kind]) + std::to_string(entry.time) + ":" + entry.text + "|";
  }
  return dump;
}

// The transcript of earlier sessions: one file per data directory however it is named, the
// owner's alone, texts escaped, the newest kMaxStoredTurns turns kept, and a defined result for
// a file that is not one of ours.
TEST(TranscriptStoreTest, OneFilePerDirectoryPrivateAndBounded) {
  Scratch scratch;
  const std::string state = (scratch.path / "state").string();
  const char* before = std::getenv("XDG_STATE_HOME");
  const std::string saved = before != nullptr ? before : "";
  setenv("XDG_STATE_HOME", state.c_str(), 1);
  std::filesystem::create_directories(scratch.path / "one");
  std::filesystem::create_directories(scratch.path / "two");
  std::filesystem::create_directory_symlink(scratch.path / "one", scratch.path / "link");
  std::string one;
  std::string two;
  std::string other;
  const std::string path = TranscriptPath((scratch.path / "one").string(), &one);
  const std::string twoPath = TranscriptPath((scratch.path / "two").string(), &two);
  EXPECT_EQ(TranscriptPath((scratch.path / "link/.").string(), &other), path);
  EXPECT_EQ(other, one);
  EXPECT_NE(twoPath, path);
  EXPECT_EQ(path.rfind(state + "/mimoza/transcripts/", 0), 0u) << path;
  EXPECT_EQ(TranscriptPath((scratch.path / "missing").string(), &other), "");
  if (before != nullptr) {
    setenv("XDG_STATE_HOME", saved.c_str(), 1);
  } else {
    unsetenv("XDG_STATE_HOME");
  }

  std::vector<StoredEntry> entries = {{StoredLine, 0, "stale"}};
  std::string error;
  ASSERT_TRUE(LoadTranscript(path, one, &entries, &error)) << "a missing file is empty";
  EXPECT_TRUE(entries.empty());
  const std::vector<StoredEntry> turn = {{StoredLine, 17, "a\\b\tc"},
                                         {StoredResponse, 17, "two\nlines\r"},
                                         {StoredCleared, 17, "drawn"}};
  ASSERT_TRUE(AppendTurn(path, one, turn, &error)) << error;
  EXPECT_EQ(ReadFile(path), "mimoza-transcript\t1\t" + one +
                                "\nL\t17\ta\\\\b\\tc\nR\t17\ttwo\\nlines\\r\nC\t17\tdrawn\n");
  using std::filesystem::perms;
  EXPECT_EQ(std::filesystem::status(path).permissions(), perms::owner_read | perms::owner_write);
  EXPECT_EQ(std::filesystem::status(state + "/mimoza/transcripts").permissions(), perms::owner_all);
  ASSERT_TRUE(LoadTranscript(path, one, &entries, &error)) << error;
  EXPECT_EQ(DumpStored(entries), DumpStored(turn));

  // Past the bound the oldest turns go, from what is loaded and from the file.
  for (size_t i = 0; i <= kMaxStoredTurns; ++i) {
    const auto time = static_cast<int64_t>(i);
    ASSERT_TRUE(AppendTurn(
        path, one, {{StoredLine, time, std::to_string(i)}, {StoredResponse, time, "r"}}, &error));
  }
  ASSERT_TRUE(LoadTranscript(path, one, &entries, &error)) << error;
  ASSERT_EQ(entries.size(), 2 * kMaxStoredTurns);
  EXPECT_EQ(DumpStored({entries[0], entries.back()}), "L1:1|R1000:r|");
  EXPECT_EQ(DumpStored(ParseTranscript(ReadFile(path))), DumpStored(entries)) << "trimmed";

  // Another directory's file (or none of ours) shows nothing and starts afresh.
  std::ofstream(twoPath) << "mimoza-transcript\t1\t/elsewhere\nL\t1\tx\n";
  ASSERT_TRUE(LoadTranscript(twoPath, two, &entries, &error)) << error;
  EXPECT_TRUE(entries.empty());
  EXPECT_EQ(ReadFile(twoPath), "mimoza-transcript\t1\t" + two + "\n");

  // Records before the first user line, lines of other forms and a cut last line are passed
  // over; a backslash before another character stays; malformed UTF-8 becomes U+FFFD.
  EXPECT_EQ(DumpStored(ParseTranscript("R\t1\torphan\nL\t2\tq\\x\\\\n\nbad\nR\tnope\tx\n"
                                       "X\t3\ty\nC\t3\t\xff\nL\t4\tcut")),
            "L2:q\\x\\n|C3:\xef\xbf\xbd|");
}

#ifdef MIMOZA_PROGRAM

using testing::kRows;
using testing::PtyProgram;

// WithoutEscapes: the text of a row as the terminal shows it, without CSI sequences.
std::string WithoutEscapes(const std::string& drawn) {
  std::string text;
  for (size_t i = 0; i < drawn.size(); ++i) {
    if (drawn.compare(i, 2, "\x1b[") != 0) {
      text += drawn[i];
      continue;
    }
    i += 2;
    while (i < drawn.size() && (drawn[i] < 0x40 || drawn[i] > 0x7E)) ++i;
  }
  return text;
}

// Screen: once text has been drawn, the rows of the last whole frame (1-based; [0] is unused).
// A frame without the box ends by showing the cursor.
std::vector<std::string> Screen(PtyProgram& program, const std::string& text) {
  std::vector<std::string> rows(kRows + 1);
  if (!program.ReadUntil(text) || !program.ReadUntil("\x1b[?25h")) return rows;
  const std::string& out = program.Output();
  const size_t end = out.rfind("\x1b[?25h");
  const size_t start = out.rfind("\x1b[?25l", end);
  for (int row = 1; row <= kRows; ++row) {
    const std::string go = "\x1b[" + std::to_string(row) + ";1H";
    size_t at = out.find(go, start);
    if (at > end) continue;
    at += go.size();
    rows[static_cast<size_t>(row)] = WithoutEscapes(out.substr(at, out.find("\x1b[K", at) - at));
  }
  return rows;
}

// RowOf: the screen row that shows text, or 0.
int32_t RowOf(const std::vector<std::string>& rows, const std::string& text) {
  for (size_t row = 1; row < rows.size(); ++row) {
    if (rows[row] == text) return static_cast<int32_t>(row);
  }
  return 0;
}

std::string ClickAt(int32_t column, int32_t row) {
  const std::string at = std::to_string(column) + ";" + std::to_string(row);
  return "\x1b[<0;" + at + "M\x1b[<0;" + at + "m";
}

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

// PtyTest: each test has its own data folder, home and state folder, so nothing it starts
// touches the real home.
class PtyTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(scratch.path.empty()); }

  std::string Path(const char* name) const { return (scratch.path / name).string(); }
  std::vector<std::string> Environment() const {
    return {"HOME=" + Path("home"), "XDG_STATE_HOME=" + Path("state")};
  }
  std::string HistoryFile() const { return Path("state") + "/mimoza/history"; }

  // StartMimoza: the built program on the scratch data folder, seeded, with more arguments and
  // settings after those; returns once it has drawn its first frame.
  bool StartMimoza(PtyProgram& program, const char* seed, std::vector<std::string> args = {},
                   std::vector<std::string> env = {}) {
    std::vector<std::string> argv = {MIMOZA_PROGRAM, "--dir", Path("data"), "--seed", seed};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> settings = Environment();
    settings.insert(settings.end(), env.begin(), env.end());
    // Keys typed before the first frame would meet the terminal's cooked modes, not ours.
    return program.Start(argv, settings) && program.ReadUntil("\x1b[?25h");
  }

  Scratch scratch;
};

TEST_F(PtyTest, ConversationUnderAPseudoTerminal) {
  PtyProgram program;
  ASSERT_TRUE(StartMimoza(program, "7")) << program.Output();
  EXPECT_NE(program.Output().find("\x1b]0;ミモザ\x07\x1b[?25l"), std::string::npos);  // title
  EXPECT_NE(program.Output().find("\x1b[1;1H\x1b[1mミモザ"), std::string::npos);      // heading
  // Without Boke.dat an unknown line of four bytes or more is offered for learning.
  program.Type("こんにちは");
  ASSERT_TRUE(program.ReadUntil("> こんにちは\x1b[K")) << program.Output();
  ASSERT_TRUE(program.ReadUntil("\x1b[23;13H")) << "cursor after five wide characters";
  program.Type("\r");
  ASSERT_TRUE(program.ReadUntil("覚えていい？")) << program.Output();
  program.Type("はい\r");
  ASSERT_TRUE(program.ReadUntil("何て言えばいい？")) << program.Output();
  program.Type("やあ\r");
  // The three turns stay on screen in order, just above the input line; older turns are faint.
  std::vector<std::string> rows = Screen(program, "OK 学習した");
  const std::vector<std::string> taught = {"> こんにちは",       "  覚えていい？", "> はい",
                                           "  何て言えばいい？", "> やあ",         "  OK 学習した"};
  EXPECT_EQ(std::vector<std::string>(rows.begin() + 16, rows.begin() + 22), taught);
  EXPECT_EQ(rows[1], "ミモザ");
  EXPECT_EQ(rows[23], "> ");
  EXPECT_NE(program.Output().find("\x1b[2m  何て言えばいい？\x1b[0m"), std::string::npos);
  // Alt+Enter on the learned line submits it with Ctrl: an offer to add an answer.
  program.Type("こんにちは\x1b\r");
  ASSERT_TRUE(program.ReadUntil("情報を新たに加える？")) << program.Output();
  // F2 shows the whole last response in the box; any key closes it and is not typed.
  program.Type("\x1bOQ");
  ASSERT_TRUE(program.ReadUntil("┌─ 内容 ")) << program.Output();
  ASSERT_TRUE(program.ReadUntil("│ 情報を新たに加える？ │")) << program.Output();
  program.Type("x");
  ASSERT_TRUE(program.ReadUntil("> \x1b[K")) << program.Output();
  // F3 tells why: the box "なぜ" with the record of that turn.
  program.Type("\x1bOR");
  ASSERT_TRUE(program.ReadUntil("┌─ なぜ ")) << program.Output();
  ASSERT_TRUE(program.ReadUntil("│   Dictionary.txt:11  key こんにちは  matches [こんにちは]"))
      << program.Output();
  // Each answer with its own line; a prompt's key with what it is in plain words.
  ASSERT_TRUE(program.ReadUntil("│   1. (drawn) やあ  Dictionary.txt:12")) << program.Output();
  ASSERT_TRUE(program.ReadUntil("│ prompt <SMES4> (the offer to add an answer), a pool of 1:"))
      << program.Output();
  program.Type("x");
  ASSERT_TRUE(program.ReadUntil("> \x1b[K")) << program.Output();
  // A No clears the response, shown as a faint mark; a click on it still shows what this turn
  // found.
  program.Type("いいえ、こんにちは\r");
  rows = Screen(program, "> いいえ、こんにちは");
  ASSERT_EQ(rows[21], "  ·");
  program.Type(ClickAt(3, 21));
  ASSERT_TRUE(program.ReadUntil("│ やあ")) << program.Output();
  // A click on an older response shows that one.
  program.Type("q");
  rows = Screen(program, "> \x1b[K");
  const int32_t older = RowOf(rows, "  覚えていい？");
  ASSERT_NE(older, 0);
  program.Type(ClickAt(5, older));
  ASSERT_TRUE(program.ReadUntil("│ 覚えていい？ │")) << program.Output();
  // A resize redraws at the new size.
  winsize taller = {};
  taller.ws_row = 30;
  taller.ws_col = 80;
  ASSERT_EQ(ioctl(program.Master(), TIOCSWINSZ, &taller), 0);
  ASSERT_TRUE(program.ReadUntil("\x1b[30;1H\x1b[2mUp/Down")) << program.Output();
  program.Type("q\x04");

  const int status = program.Finish();
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  ExpectRestored(program, "Ctrl+D");
}

// Thirty short turns outgrow the 19 rows of the transcript; Page Up and the wheel scroll back
// to the first one, and typing brings the newest back.
TEST_F(PtyTest, ScrollingBackShowsEarlyTurns) {
  PtyProgram program;
  ASSERT_TRUE(StartMimoza(program, "3"));
  for (int turn = 1; turn <= 30; ++turn) program.Type("a" + std::to_string(turn) + "\r");
  std::vector<std::string> rows = Screen(program, "> a30");
  EXPECT_EQ(rows[20], "> a30");
  EXPECT_EQ(RowOf(rows, "> a1"), 0);
  program.Type("\x1b[5~");
  rows = Screen(program, "scrolled back");
  EXPECT_EQ(rows[20], "> a21") << "a page keeps one row of the last one";
  program.Type("\x1b[5~\x1b[5~\x1b[5~");
  rows = Screen(program, "\x1b[3;1H\x1b[2m> a1");
  EXPECT_EQ(rows[3], "> a1") << "as far back as it goes";
  program.Type("\x1b[<65;10;10M");  // the wheel, one notch down
  rows = Screen(program, "\x1b[3;1H\x1b[2m  ·");
  EXPECT_EQ(rows[4], "> a3");
  program.Type("x");
  rows = Screen(program, "> x\x1b[K");
  EXPECT_EQ(rows[20], "> a30");
  EXPECT_EQ(rows[22], "");
}

// A long answer wraps by display width (wide characters take two cells, and one that no longer
// fits begins the next row); the box shows it whole, a page at a time, above the key hints.
TEST_F(PtyTest, LongAnswerWrapsAndScrollsInTheBox) {
  std::string answer = "x";
  for (int i = 0; i < 1000; ++i) answer += "あ";
  std::string row39;  // 78 cells: a full row of text beside its indent
  for (int i = 0; i < 39; ++i) row39 += "あ";
  PtyProgram program;
  ASSERT_TRUE(StartMimoza(program, "11"));
  program.Type("ながい\r");
  ASSERT_TRUE(program.ReadUntil("覚えていい？")) << program.Output();
  program.Type("はい\r");
  ASSERT_TRUE(program.ReadUntil("何て言えばいい？")) << program.Output();
  program.Type(answer + "\r");
  ASSERT_TRUE(program.ReadUntil("OK 学習した")) << program.Output();
  program.Type("ながい\r");
  // "x" and 38 wide characters fill 77 of the 78 cells; then 39 a row: 1000 = 38 + 24 * 39 + 26.
  std::vector<std::string> rows =
      Screen(program, "\x1b[21;1H  " + row39.substr(0, size_t{26} * 3) + "\x1b[K");
  EXPECT_EQ(rows[21], "  " + row39.substr(0, size_t{26} * 3));
  EXPECT_EQ(rows[20], "  " + row39);
  program.Type("\x1b[5~");
  rows = Screen(program, "scrolled back");
  EXPECT_NE(RowOf(rows, "  x" + row39.substr(0, size_t{38} * 3)), 0);
  program.Type("\x1b[6~\x1bOQ");
  // 76 cells inside the box: "x" and 37, then 38 a line, 27 lines; 21 fit above row 24.
  ASSERT_TRUE(program.ReadUntil("\x1b[24;1H\x1b[2mUp/Down")) << program.Output();
  ASSERT_TRUE(program.ReadUntil("\x1b[23;1H└─ 1-21 / 27 ─")) << program.Output();
  program.Type("\x1b[6~");
  ASSERT_TRUE(program.ReadUntil("└─ 7-27 / 27 ─")) << program.Output();
  program.Type("\x1b[<64;10;10M");
  ASSERT_TRUE(program.ReadUntil("└─ 4-24 / 27 ─")) << program.Output();
}

// Lines are saved as they are submitted, those of a learning dialogue too: a kill loses none,
// and the next session's Up reaches them. --no-history neither reads nor writes the file.
// Saving that fails is a notice.
TEST_F(PtyTest, HistorySurvivesARestartAndAKill) {
  {
    PtyProgram program;
    ASSERT_TRUE(StartMimoza(program, "21"));
    program.Type("いち\r");
    ASSERT_TRUE(program.ReadUntil("覚えていい？")) << program.Output();
    program.Type("に\r");
    ASSERT_TRUE(program.ReadUntil("何て言えばいい？")) << program.Output();
    program.Kill();
  }
  EXPECT_EQ(ReadFile(HistoryFile()), "いち\nに\n");
  {
    PtyProgram program;
    ASSERT_TRUE(StartMimoza(program, "22"));
    program.Type("\x1b[A");
    ASSERT_TRUE(program.ReadUntil("> に\x1b[K")) << program.Output();
    program.Type("\x1b[A");
    ASSERT_TRUE(program.ReadUntil("> いち\x1b[K")) << program.Output();
    program.Type("\x15さん\r\x04");
    EXPECT_EQ(WEXITSTATUS(program.Finish()), 0);
  }
  EXPECT_EQ(ReadFile(HistoryFile()), "いち\nに\nさん\n");
  {
    PtyProgram program;
    ASSERT_TRUE(StartMimoza(program, "23", {"--no-history"}));
    program.Type("\x1b[Az");
    ASSERT_TRUE(program.ReadUntil("> z\x1b[K")) << "no earlier lines";
    program.Type("\x15よん\r\x04");
    EXPECT_EQ(WEXITSTATUS(program.Finish()), 0);
  }
  EXPECT_EQ(ReadFile(HistoryFile()), "いち\nに\nさん\n");
  {
    PtyProgram program;
    ASSERT_TRUE(StartMimoza(program, "24", {"--no-history"}, {"XDG_STATE_HOME=" + Path("fresh")}));
    program.Type("ご\r\x04");
    EXPECT_EQ(WEXITSTATUS(program.Finish()), 0);
  }
  EXPECT_FALSE(std::filesystem::exists(Path("fresh"))) << "--no-history writes nothing";
  EXPECT_FALSE(std::filesystem::exists(Path("home/.local")));
  // A history file that cannot be written (a file stands where its folder should) is a notice,
  // told once, after the turn; the session goes on.
  std::ofstream(Path("blocker")) << "a file\n";
  PtyProgram program;
  ASSERT_TRUE(StartMimoza(program, "5", {}, {"XDG_STATE_HOME=" + Path("blocker")}));
  program.Type("abcd\rはい\r");
  const std::vector<std::string> rows = Screen(program, "何て言えばいい？");
  EXPECT_EQ(rows[17], "  覚えていい？");
  EXPECT_EQ(rows[18], "! History is not saved: cannot create the folder of");
  EXPECT_EQ(rows[20], "> はい");
}

// A new session shows the last turns of the one before, faint above a divider with its date, and
// keeps adding to the same file. Ctrl+R finds a line of the history; Esc closes a box first,
// then leaves the search, giving back the line as it was.
TEST_F(PtyTest, EarlierTurnsAndTheReverseSearch) {
  {
    PtyProgram program;
    ASSERT_TRUE(StartMimoza(program, "31"));
    program.Type("いちご\r");
    ASSERT_TRUE(program.ReadUntil("覚えていい？")) << program.Output();
    program.Type("いいえ\r\x04");
    EXPECT_EQ(WEXITSTATUS(program.Finish()), 0);
  }
  PtyProgram program;
  ASSERT_TRUE(StartMimoza(program, "32"));
  program.Type("\x0c");  // a fresh frame to read
  // The first screen's line stands under the divider.
  std::vector<std::string> rows = Screen(program, "\x1b[20;1H\x1b[2m── 2");
  EXPECT_EQ(std::vector<std::string>(rows.begin() + 16, rows.begin() + 20),
            (std::vector<std::string>{"> いちご", "  覚えていい？", "> いいえ", "  ·"}));
  EXPECT_EQ(rows[21].rfind("  Mimoza learns from you", 0), 0u) << rows[21];
  EXPECT_NE(program.Output().find("\x1b[2m> いちご\x1b[0m"), std::string::npos) << "faint";
  program.Type("\x12いち");
  ASSERT_TRUE(program.ReadUntil("\x1b[23;1Hsearch \"いち\": いちご\x1b[K")) << program.Output();
  ASSERT_TRUE(program.ReadUntil("Ctrl+R: further back")) << program.Output();
  program.Type("\r");
  rows = Screen(program, "\x1b[21;1H  覚えていい？");
  EXPECT_EQ(rows[20], "> いちご");
  // Esc with a box open over a search: the box closes, then the search ends.
  program.Type("ab\x12いち\x1bOQ");
  ASSERT_TRUE(program.ReadUntil("┌─ 内容")) << program.Output();
  program.Type("\x1b");
  ASSERT_TRUE(program.ReadUntil("search \"いち\": いちご\x1b[K")) << "the box closes first";
  ASSERT_TRUE(program.ReadUntil("\x1b[?25h")) << program.Output();
  program.Type("\x1b");
  ASSERT_TRUE(program.ReadUntil("\x1b[23;1H> ab\x1b[K")) << program.Output();
  program.Type("\x03");
  EXPECT_EQ(WEXITSTATUS(program.Finish()), 0);
  std::vector<std::filesystem::path> files;
  for (const auto& file :
       std::filesystem::directory_iterator(Path("state") + "/mimoza/transcripts")) {
    files.push_back(file.path());
  }
  ASSERT_EQ(files.size(), 1u);
  std::string lines;
  for (const StoredEntry& entry : ParseTranscript(ReadFile(files[0]))) {
    if (entry.kind == StoredLine) lines += entry.text + "|";
  }
  EXPECT_EQ(lines, "いちご|いいえ|いちご|") << "both sessions' turns, in one file";
}

// Esc's order of modes ends with the learning dialogue: dropped at either step, said faintly, the
// line being typed kept; on an idle line Esc does nothing. F4 asks before it forgets what the last
// turn showed (the pair just learned, else the answer just drawn), keeps a backup, and the next
// turn sees the file without it. The first screen's line goes once a line is sent.
TEST_F(PtyTest, EscDropsTheDialogueAndF4ForgetsWhatTheTurnShowed) {
  const std::string idleBar =
      "Enter: send  Alt+Enter: add an answer  F3: why  F4: forget  ^D: quit";
  const std::string intro =
      "  Mimoza learns from you: talk to it, and when it asks, teach it what to answer.";
  const std::string answer = "\x82\xE2\x82\xA0";  // やあ in the file's code page
  PtyProgram program;
  ASSERT_TRUE(StartMimoza(program, "41"));
  program.Type("\x0c");
  std::vector<std::string> rows = Screen(program, "\x1b[24;1H\x1b[2m");
  EXPECT_EQ(rows[21], intro);
  EXPECT_EQ(rows[24], idleBar);
  program.Type("\x1bOS");
  ASSERT_TRUE(program.ReadUntil("! Nothing to forget: the last turn showed no answer of"))
      << program.Output();

  // Keys typed, then what the turn's transcript ends with (row 21; the notice of a dropped
  // dialogue is faint), then the input line.
  const struct {
    const char* keys;
    const char* last;
    bool faint;
    const char* input;
  } kSteps[] = {
      {"こんにちは\r", "  覚えていい？", false, "> "},
      {"\x1b", "  (learning dropped)", true, "> "},  // at the consent
      {"こんにちは\r", "  覚えていい？", false, "> "},
      {"はい\rやあ", "  何て言えばいい？", false, "> やあ"},
      {"\x1b", "  (learning dropped)", true, "> やあ"},  // at the answer, the line kept
      {"\x1b\r", "  覚えていい？", false, "> "},     // idle: Esc does nothing; やあ is a new line
      {"\x07", "  (learning dropped)", true, "> "},  // Ctrl+G as Esc
      {"こんにちは\rはい\rやあ\r", "  OK 学習した", false, "> "},
  };
  for (const auto& step : kSteps) {
    SCOPED_TRACE(step.keys);
    program.Type(step.keys);
    ASSERT_TRUE(
        program.ReadUntil(std::string("\x1b[21;1H") + (step.faint ? "\x1b[2m" : "") + step.last))
        << program.Output();
    rows = Screen(program, std::string("\x1b[23;1H") + step.input + "\x1b[K");
    EXPECT_EQ(rows[21], step.last);
    EXPECT_EQ(rows[23], step.input);
    EXPECT_EQ(RowOf(rows, intro), 0);
  }
  // F4 after learning: no keeps the pair, yes forgets it and says where the backup is.
  const std::string taught = ReadFile(Path("data/Dictionary.txt"));
  ASSERT_NE(taught.find(answer), std::string::npos);
  EXPECT_EQ(taught.find(answer), taught.rfind(answer)) << "only the last pair is learned";
  program.Type("\x1bOS");
  ASSERT_TRUE(program.ReadUntil("\x1b[24;1H\x1b[2my: forget  n: keep")) << program.Output();
  ASSERT_TRUE(program.ReadUntil("┌─ forget ")) << program.Output();
  ASSERT_TRUE(program.ReadUntil("the answer \"やあ\" of the key \"こんにちは\"")) << program.Output();
  program.Type("n");
  ASSERT_TRUE(program.ReadUntil("! Nothing is forgotten.")) << program.Output();
  EXPECT_EQ(ReadFile(Path("data/Dictionary.txt")), taught);
  program.Type("\x1bOSy");
  ASSERT_TRUE(program.ReadUntil("! Forgot \"やあ\". Dictionary.txt as it was is kept as"))
      << program.Output();
  ASSERT_TRUE(program.ReadUntil("/backups/Dictionary-")) << program.Output();
  EXPECT_EQ(ReadFile(Path("data/Dictionary.txt")).find(answer), std::string::npos);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Path("data/backups")),
                          std::filesystem::directory_iterator()),
            1);
  program.Type("\x1bOS");
  ASSERT_TRUE(program.ReadUntil("\x1b[21;1H! Nothing to forget"))
      << "forgotten once";
  program.Type("こんにちは\r");
  rows = Screen(program, "\x1b[21;1H  覚えていい？");
  EXPECT_EQ(rows[21], "  覚えていい？") << "the engine reads the file without the pair";

  // F4 after an answer drawn: the key goes with its only answer; Esc keeps them.
  program.Type("はい\rやあ\r");
  ASSERT_TRUE(program.ReadUntil("\x1b[21;1H  OK 学習した")) << program.Output();
  program.Type("こんにちは\r");
  ASSERT_TRUE(program.ReadUntil("\x1b[21;1H  やあ")) << program.Output();
  // Where no backup can be kept, nothing is forgotten, and the notice says why.
  const std::string before = ReadFile(Path("data/Dictionary.txt"));
  std::filesystem::rename(Path("data/backups"), Path("kept-backups"));
  std::ofstream(Path("data/backups")) << "not a folder\n";
  program.Type("\x1b[14~y");
  ASSERT_TRUE(program.ReadUntil("! Cannot keep a backup in the folder backups (Not a directory)"))
      << program.Output();
  EXPECT_EQ(ReadFile(Path("data/Dictionary.txt")), before);
  std::filesystem::remove(Path("data/backups"));
  std::filesystem::rename(Path("kept-backups"), Path("data/backups"));
  program.Type("\x1b[14~");
  ASSERT_TRUE(program.ReadUntil("the answer \"やあ\" of the key \"こんにちは\"")) << program.Output();
  ASSERT_TRUE(program.ReadUntil("the key \"こんにちは\", which has no answer left"))
      << program.Output();
  program.Type("\x1b");
  ASSERT_TRUE(program.ReadUntil("\x1b[21;1H! Nothing is forgotten.")) << program.Output();
  EXPECT_NE(ReadFile(Path("data/Dictionary.txt")).find(answer), std::string::npos);
  program.Type("\x04");
  EXPECT_EQ(WEXITSTATUS(program.Finish()), 0);
}

// ReadsAs: whether every byte of text is a character of the charset.
bool ReadsAs(const char* charset, const std::string& text) {
  const iconv_t cd = iconv_open("UTF-8", charset);
  std::string in = text;
  std::string out(in.size() * 4 + 4, '\0');
  char* inPtr = in.data();
  char* outPtr = out.data();
  size_t inLeft = in.size();
  size_t outLeft = out.size();
  const bool whole = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1);
  iconv_close(cd);
  return whole;
}

// A locale that is not UTF-8 gets its own bytes: EUC-JP shows Japanese, ASCII shows "?" in its
// place and says so; frames are drawn in ASCII; nothing else reaches the terminal. The EUC-JP
// locale need not be installed: its name says the charset.
TEST_F(PtyTest, NonUtf8LocalesGetTheirOwnBytes) {
  const struct {
    const char* locale;
    const char* charset;
    std::string typed;
    std::string shown;
  } kCases[] = {
      {"C", "ANSI_X3.4-1968", "abcd\rあ", "> ???\x1b[K"},
      // こんにちは, then 覚えていい？
      {"ja_JP.EUC-JP", "EUC-JP", "\xA4\xB3\xA4\xF3\xA4\xCB\xA4\xC1\xA4\xCF\r",
       "  \xB3\xD0\xA4\xA8\xA4\xC6\xA4\xA4\xA4\xA4\xA1\xA9"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.locale);
    PtyProgram program;
    ASSERT_TRUE(StartMimoza(program, "9", {"--no-history"}, {std::string("LC_ALL=") + c.locale}));
    program.Type(c.typed);
    ASSERT_TRUE(program.ReadUntil(c.shown)) << program.Output();
    program.Type("\x1bOQ");
    ASSERT_TRUE(program.ReadUntil("+- ")) << program.Output();
    program.Type("q\x03");
    program.Finish();
    EXPECT_TRUE(ReadsAs(c.charset, program.Output())) << program.Output();
    EXPECT_EQ(program.Output().find("has no Japanese") != std::string::npos,
              std::string(c.locale) == "C");
  }
}

// Ctrl+Z and a stop from outside give the terminal back to a job-control shell (main screen,
// no mouse reports) and fg brings the session back, redrawn.
TEST_F(PtyTest, SuspendAndContinue) {
  PtyProgram shell;
  std::vector<std::string> env = Environment();
  env.push_back("PS1=sh$ ");
  ASSERT_TRUE(shell.Start({"/bin/bash", "--norc", "--noprofile", "-i"}, env));
  ASSERT_TRUE(shell.ReadUntil("sh$ ")) << shell.Output();
  shell.Type(std::string("'") + MIMOZA_PROGRAM + "' --dir '" + Path("data") + "' --seed 5\r");
  shell.Type("abcd\r");
  ASSERT_TRUE(shell.ReadUntil("覚えていい？")) << shell.Output();
  const struct {
    const char* how;
    bool outside;
  } kStops[] = {{"Ctrl+Z", false}, {"SIGTSTP", true}};
  for (const auto& stop : kStops) {
    SCOPED_TRACE(stop.how);
    if (stop.outside) {
      kill(-tcgetpgrp(shell.Master()), SIGTSTP);
    } else {
      shell.Type("\x1a");
    }
    ASSERT_TRUE(shell.ReadUntil("\x1b[?1006l\x1b[?1000l")) << shell.Output();
    ASSERT_TRUE(shell.ReadUntil("\x1b[?1049l")) << shell.Output();
    ASSERT_TRUE(shell.ReadUntil("Stopped")) << shell.Output();
    ASSERT_TRUE(shell.ReadUntil("sh$ ")) << shell.Output();
    shell.Type("fg\r");
    ASSERT_TRUE(shell.ReadUntil("\x1b[?1049h")) << shell.Output();
    const std::vector<std::string> rows = Screen(shell, "\x1b[21;1H");
    EXPECT_EQ(rows[20], "> abcd");
    EXPECT_EQ(rows[21], "  覚えていい？");
  }
  shell.Type("\x03");
  ASSERT_TRUE(shell.ReadUntil("sh$ ")) << shell.Output();
  shell.Type("exit\r");
  shell.Finish();
}

// Every other way out restores the terminal too: Ctrl+C ends with 0, a signal ends the program
// as that signal would, after the restore.
TEST_F(PtyTest, EveryWayOutRestoresTheTerminal) {
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
  for (const auto& c : kCases) {
    PtyProgram program;
    ASSERT_TRUE(StartMimoza(program, "1")) << c.how;
    EXPECT_NE(program.Output().find("\x1b[23;3H\x1b[?25h"), std::string::npos) << c.how;
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
}

#endif  // MIMOZA_PROGRAM

}  // namespace
}  // namespace mimoza
