// tests/terminal/line_editor_test.cpp: the line editor and its key decoder, driven byte by byte
// through LineEditor::Feed. Each case dumps the actions it produced and the final line with "|"
// at the cursor.
#include "terminal/faces/line_editor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <string>
#include <vector>

namespace mimoza {
namespace {

class LineEditorTest : public ::testing::Test {
 protected:
  // Display widths come from wcwidth, which knows wide characters only under a UTF-8 locale.
  static void SetUpTestSuite() { std::setlocale(LC_CTYPE, "C.UTF-8"); }
};

std::string DumpAction(const EditorAction& action) {
  switch (action.kind) {
    case ActNone:
    case ActEdited:
      return "";
    case ActSubmit:
      return std::string(action.ctrl ? "Submit+Ctrl(" : "Submit(") + action.line + ") ";
    case ActShowLast:
      return "ShowLast ";
    case ActWhy:
      return "Why ";
    case ActForget:
      return "Forget ";
    case ActClick:
      return "Click(" + std::to_string(action.x) + "," + std::to_string(action.y) + ") ";
    case ActQuit:
      return "Quit ";
    case ActRedraw:
      return "Redraw ";
    case ActPageUp:
      return "PageUp ";
    case ActPageDown:
      return "PageDown ";
    case ActWheelUp:
    case ActWheelDown:
      return std::string(action.kind == ActWheelUp ? "WheelUp(" : "WheelDown(") +
             std::to_string(action.x) + "," + std::to_string(action.y) + ") ";
    case ActSuspend:
      return "Suspend ";
  }
  return "? ";
}

// Type: feeds the bytes; returns the actions, then "[line]" with "|" at the cursor.
std::string Type(LineEditor& editor, const std::string& bytes) {
  std::string dump;
  for (char c : bytes) dump += DumpAction(editor.Feed(static_cast<unsigned char>(c)));
  std::string line = editor.Text();
  line.insert(editor.Cursor(), "|");
  return dump + "[" + line + "]";
}

std::string Type(const std::string& bytes) {
  LineEditor editor;
  return Type(editor, bytes);
}

const struct {
  const char* name;
  const char* bytes;
  const char* dump;
} kEditCases[] = {
    {"plain typing", "abc", "[abc|]"},
    {"insert in the middle", "abc\x1b[D\x1b[DX", "[aX|bc]"},
    {"Japanese", "こんにちは", "[こんにちは|]"},
    {"left over a wide character", "日本語\x1b[Dx", "[日本x|語]"},
    {"backspace removes a whole character", "日本語\x7f", "[日本|]"},
    {"Ctrl+H is backspace too", "ab\x08", "[a|]"},
    {"backspace at the start", "ab\x01\x7f", "[|ab]"},
    {"right at the end", "ab\x1b[C", "[ab|]"},
    {"Ctrl+B and Ctrl+F", "abc\x02\x02\x06", "[ab|c]"},
    {"Home CSI H", "abc\x1b[H", "[|abc]"},
    {"Home SS3 H", "abc\x1bOH", "[|abc]"},
    {"Home CSI 1 ~", "abc\x1b[1~", "[|abc]"},
    {"Home CSI 7 ~", "abc\x1b[7~", "[|abc]"},
    {"End CSI F", "abc\x01\x1b[F", "[abc|]"},
    {"End SS3 F", "abc\x01\x1bOF", "[abc|]"},
    {"End CSI 4 ~", "abc\x01\x1b[4~", "[abc|]"},
    {"End CSI 8 ~", "abc\x01\x1b[8~", "[abc|]"},
    {"Ctrl+A, Ctrl+E", "abc\x01X\x05Y", "[XabcY|]"},
    {"Delete", "あいう\x01\x1b[3~", "[|いう]"},
    {"Delete at the end", "ab\x1b[3~", "[ab|]"},
    {"Ctrl+K", "abcd\x1b[D\x1b[D\x0b", "[ab|]"},
    {"Ctrl+U", "abcd\x1b[D\x15", "[|d]"},
    {"Shift+arrow keys move one character", "abc\x1b[1;2D\x1bOD", "[a|bc]"},
    {"combining mark moves with its letter", "xe\xcc\x81\x1b[D", "[x|e\xcc\x81]"},
    {"backspace takes the mark with its letter", "xe\xcc\x81\x7f", "[x|]"},
    {"a tab is not text", "a\tb", "[ab|]"},
};

TEST_F(LineEditorTest, Editing) {
  for (const auto& c : kEditCases) EXPECT_EQ(Type(c.bytes), c.dump) << c.name;
}

const struct {
  const char* name;
  const char* bytes;
  const char* dump;
} kActionCases[] = {
    {"Enter (CR)", "abc\r", "Submit(abc) [|]"},
    {"Enter (LF)", "abc\n", "Submit(abc) [|]"},
    {"Enter on an empty line", "\r", "Submit() [|]"},
    {"keypad Enter", "ab\x1bOM", "Submit(ab) [|]"},
    {"Ctrl+Enter, modifyOtherKeys", "猫\x1b[27;5;13~", "Submit+Ctrl(猫) [|]"},
    {"Ctrl+Enter, kitty", "猫\x1b[13;5u", "Submit+Ctrl(猫) [|]"},
    {"Ctrl+Shift+Enter, kitty", "猫\x1b[13;6u", "Submit+Ctrl(猫) [|]"},
    {"Alt+Enter fallback", "猫\x1b\r", "Submit+Ctrl(猫) [|]"},
    {"Alt+Enter as LF", "猫\x1b\n", "Submit+Ctrl(猫) [|]"},
    {"Alt+Enter, kitty", "猫\x1b[13;3u", "Submit+Ctrl(猫) [|]"},
    {"Shift+Enter is plain", "猫\x1b[13;2u", "Submit(猫) [|]"},
    {"Enter, kitty without modifiers", "猫\x1b[13u", "Submit(猫) [|]"},
    {"cursor mid-line submits the whole line", "abc\x1b[D\r", "Submit(abc) [|]"},
    {"Ctrl+D on an empty line", "\x04", "Quit [|]"},
    {"Ctrl+D on a line deletes", "abc\x01\x04", "[|bc]"},
    {"Ctrl+D at the end of a line", "abc\x04", "[abc|]"},
    {"Ctrl+D after clearing", "a\x7f\x04", "Quit [|]"},
    {"Ctrl+C", "abc\x03", "Quit [abc|]"},
    {"Ctrl+C, kitty", "\x1b[99;5u", "Quit [|]"},
    {"Ctrl+D, kitty", "\x1b[100;5u", "Quit [|]"},
    {"Ctrl+C, modifyOtherKeys 2", "\x1b[27;5;99~", "Quit [|]"},
    {"Ctrl+A, kitty", "ab\x1b[97;5u", "[|ab]"},
    {"Shift+letter, modifyOtherKeys 2", "\x1b[27;2;65~", "[A|]"},
    {"Esc, kitty", "a\x1b[27u", "[a|]"},
    {"Ctrl+L", "a\x0c", "Redraw [a|]"},
    {"F2 SS3", "\x1bOQ", "ShowLast [|]"},
    {"F2 CSI 12 ~", "\x1b[12~", "ShowLast [|]"},
    {"F2 Linux console", "\x1b[[B", "ShowLast [|]"},
    {"Shift+F2", "\x1b[1;2Q", "ShowLast [|]"},
    {"F3 SS3, CSI 13 ~, Linux console", "\x1bOR\x1b[13~\x1b[[C", "Why Why Why [|]"},
    {"F3 CSI R, Shift+F3; a cursor report is none", "\x1b[R\x1b[1;2R\x1b[5;1R", "Why Why [|]"},
    {"F4 SS3, CSI 14 ~, Linux console, CSI S, Shift+F4", "\x1bOS\x1b[14~\x1b[[D\x1b[S\x1b[1;2S",
     "Forget Forget Forget Forget Forget [|]"},
    {"F1 does nothing", "\x1bOP\x1b[[A", "[|]"},
    {"SGR mouse press", "\x1b[<0;12;3M", "Click(12,3) [|]"},
    {"SGR press with Ctrl", "\x1b[<16;1;1M", "Click(1,1) [|]"},
    {"SGR release", "\x1b[<0;12;3m", "[|]"},
    {"SGR right button and motion", "\x1b[<2;1;1M\x1b[<32;5;5M\x1b[<66;1;1M", "[|]"},
    {"SGR wheel", "\x1b[<64;3;4M\x1b[<65;5;6M", "WheelUp(3,4) WheelDown(5,6) [|]"},
    {"SGR wheel with Ctrl", "\x1b[<80;1;2M", "WheelUp(1,2) [|]"},
    {"old-style mouse press", "\x1b[M !#", "Click(1,3) [|]"},
    {"old-style mouse release", "\x1b[M#!#x", "[x|]"},
    {"old-style wheel", "\x1b[M`!#\x1b[Ma!#", "WheelUp(1,3) WheelDown(1,3) [|]"},
    {"Page Up and Down", "\x1b[5~\x1b[6~", "PageUp PageDown [|]"},
    {"Page Up with Ctrl, xterm", "\x1b[5;5~", "PageUp [|]"},
    {"Ctrl+Z", "ab\x1a", "Suspend [ab|]"},
    {"Ctrl+Z, kitty", "\x1b[122;5u", "Suspend [|]"},
};

TEST_F(LineEditorTest, SubmitsQuitsAndReports) {
  for (const auto& c : kActionCases) EXPECT_EQ(Type(c.bytes), c.dump) << c.name;
}

// Bytes a terminal or a paste may send that are no key of ours: each gives a defined result and
// leaves the editor ready for the next key.
const struct {
  const char* name;
  const char* bytes;
  const char* dump;
} kGarbageCases[] = {
    {"bracketed paste joins lines", "\x1b[200~a\rb\nc\x1b[201~", "[a b c|]"},
    {"Enter after a paste submits", "\x1b[200~a\rb\x1b[201~\r", "Submit(a b) [|]"},
    {"unknown CSI key", "a\x1b[99~b", "[ab|]"},
    {"overlong parameters", "a\x1b[1111111111111111111111111111111111111111111111~b", "[ab|]"},
    {"huge numbers", "\x1b[<0;99999999999;99999999999M", "Click(1000000,1000000) [|]"},
    {"device attributes reply", "a\x1b[?62;22c\x1b[>1;10;0cb", "[ab|]"},
    {"kitty flags reply", "a\x1b[?1ub", "[ab|]"},
    {"cursor position reply", "a\x1b[5;1Rb", "[ab|]"},
    {"intermediate bytes", "a\x1b[1 qb", "[ab|]"},
    {"OSC with BEL",
     "a\x1b]0;title\x07"
     "b",
     "[ab|]"},
    {"OSC with ST", "a\x1b]11;rgb:0/0/0\x1b\\b", "[ab|]"},
    {"DCS cancelled",
     "a\x1bPxyz\x18"
     "b",
     "[ab|]"},
    {"ESC inside OSC starts a key", "a\x1b]0;t\x1b[Db", "[b|a]"},
    {"CSI cut by a control", "ab\x1b[1\x7f", "[a|]"},
    {"CSI cut by UTF-8", "\x1b[1あ", "[あ|]"},
    {"SS3 cut by a character", "\x1bO\x01x", "[x|]"},
    {"Alt+letter", "a\x1bxb", "[ab|]"},
    {"Esc Esc then a key", "a\x1b\x1b[Db", "[b|a]"},
    {"malformed lead byte",
     "a\xff"
     "b",
     "[a\xef\xbf\xbd"
     "b|]"},
    {"stray continuation", "\x80", "[\xef\xbf\xbd|]"},
    {"overlong slash", "\xe0\x80\xaf", "[\xef\xbf\xbd|]"},
    {"surrogate", "\xed\xa0\x80", "[\xef\xbf\xbd|]"},
    {"beyond Unicode", "\xf4\x90\x80\x80", "[\xef\xbf\xbd|]"},
    {"cut-short character is dropped",
     "\xe3\x81"
     "a",
     "[a|]"},
    {"C1 control", "\xc2\x85", "[|]"},
    {"four-byte character", "\xf0\x9f\x98\x80", "[\xf0\x9f\x98\x80|]"},
};

TEST_F(LineEditorTest, IgnoresGarbageSafely) {
  for (const auto& c : kGarbageCases) EXPECT_EQ(Type(c.bytes), c.dump) << c.name;
  EXPECT_EQ(Type(std::string("a\0\x1f"
                             "b",
                             4)),
            "[ab|]")
      << "NUL and other controls";
}

// WordStops: text with "|" wherever presses of key stop, from the start of the line (Home first)
// or from its end.
std::string WordStops(const std::string& text, const std::string& key, bool fromStart) {
  LineEditor editor;
  Type(editor, text + (fromStart ? "\x01" : ""));
  std::vector<size_t> stops;
  for (size_t before = std::string::npos; editor.Cursor() != before;) {
    before = editor.Cursor();
    Type(editor, key);
    if (editor.Cursor() != before) stops.push_back(editor.Cursor());
  }
  std::sort(stops.rbegin(), stops.rend());  // marked from the right, so offsets stay true
  std::string marked = text;
  for (const size_t stop : stops) marked.insert(stop, "|");
  return marked;
}

// A word is a run of one class: kanji, hiragana, katakana (ー goes on with the kana before it),
// letters and digits; anything else lies between words.
TEST_F(LineEditorTest, WordsAreRunsOfOneClass) {
  const struct {
    const char* text;
    const char* forward;   // Alt+F from the start
    const char* backward;  // Alt+B from the end
  } kCases[] = {
      {"今日はいい天気ですね", "今日|はいい|天気|ですね|", "|今日|はいい|天気|ですね"},
      {"コーヒーを3杯ください", "コーヒー|を|3|杯|ください|", "|コーヒー|を|3|杯|ください"},
      {"すごーい！ｶﾀｶﾅｰだ", "すごーい|！ｶﾀｶﾅｰ|だ|", "|すごーい！|ｶﾀｶﾅｰ|だ"},
      {"abc123 Ｘ１ def", "abc123| Ｘ１| def|", "|abc123 |Ｘ１ |def"},
      {"Hello, 世界。ok?", "Hello|, 世界|。ok|?|", "|Hello, |世界。|ok?"},
      {"人々・ワイン", "人々|・ワイン|", "|人々・|ワイン"},
      {"  、。  ", "  、。  |", "|  、。  "},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(WordStops(c.text, "\033f", true), c.forward) << c.text;
    EXPECT_EQ(WordStops(c.text, "\033b", false), c.backward) << c.text;
  }
}

const struct {
  const char* name;
  const char* bytes;
  const char* dump;
} kWordEditCases[] = {
    {"Alt+B, Alt+F", "ab cd ef\033b\033b\033f", "[ab cd| ef]"},
    {"Ctrl+Left and Ctrl+Right", "ab cd\x1b[1;5D\x1b[1;5D\x1b[1;5C", "[ab| cd]"},
    {"Alt+Left, xterm", "ab cd\x1b[1;3D", "[ab |cd]"},
    {"Ctrl+Left and Right, rxvt", "ab cd\x1bOd\x1bOd\x1bOc", "[ab| cd]"},
    {"Alt+B, kitty", "ab cd\x1b[98;3u", "[ab |cd]"},
    {"Ctrl+W kills back to the word start", "今日はいい天気ですね\x17", "[今日はいい天気|]"},
    {"Ctrl+W takes the spaces before it too", "foo bar  \x17", "[foo |]"},
    {"Ctrl+W, kitty", "ab cd\x1b[119;5u", "[ab |]"},
    {"Alt+Backspace", "ab cd\x1b\x7f", "[ab |]"},
    {"Alt+Backspace as ESC BS", "ab cd\x1b\x08", "[ab |]"},
    {"Alt+Backspace, kitty", "ab cd\x1b[127;3u", "[ab |]"},
    {"Alt+D kills to the word end", "今日は\x01\033d", "[|は]"},
    {"kills in a row yank together", "今日はいい天気ですね\x17\x17\x17\x19",
     "[今日はいい天気ですね|]"},
    {"forward kills in a row too", "ab cd ef\x01\033d\033d\x05\x19", "[ efab cd|]"},
    {"a motion starts a new kill", "ab cd\x17\x02\x17\x19", "[ab| ]"},
    {"Ctrl+K feeds Ctrl+Y", "abcd\x02\x02\x0b\x01\x19", "[cd|ab]"},
    {"Ctrl+U feeds Ctrl+Y", "abcd\x02\x15\x05\x19", "[dabc|]"},
    {"Ctrl+Y with nothing killed", "ab\x19", "[ab|]"},
    {"Ctrl+T swaps around the cursor", "abc\x02\x14", "[acb|]"},
    {"Ctrl+T at the end swaps the last two", "abc\x14", "[acb|]"},
    {"Ctrl+T with wide characters", "日本語\x01\x06\x14", "[本日|語]"},
    {"Ctrl+T at the start", "ab\x01\x14", "[|ab]"},
    {"Ctrl+T on one character", "a\x14", "[a|]"},
    {"Ctrl+T keeps a mark with its letter", "xe\xcc\x81\x14", "[e\xcc\x81x|]"},
};

TEST_F(LineEditorTest, WordMotionsKillsAndYanks) {
  for (const auto& c : kWordEditCases) EXPECT_EQ(Type(c.bytes), c.dump) << c.name;
}

// SearchDump: Type's dump, led by what the search prompt shows while a search runs.
std::string SearchDump(const char* bytes) {
  LineEditor editor;
  for (const char* line : {"今日はいい天気ですね", "ねこが好き", "天気予報", "いぬ"}) {
    editor.Remember(line);
  }
  std::string dump = Type(editor, bytes);
  if (!editor.Searching()) return dump;
  return std::string(editor.SearchFailed() ? "not found" : "search") + " \"" + editor.SearchText() +
         "\": " + dump;
}

// Ctrl+R over the lines "今日はいい天気ですね", "ねこが好き", "天気予報", "いぬ" (the newest).
TEST_F(LineEditorTest, ReverseSearch) {
  const struct {
    const char* name;
    const char* bytes;
    const char* dump;
  } kCases[] = {
      {"the newest line that holds it", "\x12天気", "search \"天気\": [|天気予報]"},
      {"Ctrl+R again goes further back", "\x12天気\x12",
       "search \"天気\": [今日はいい|天気ですね]"},
      {"and fails past the oldest", "\x12天気\x12\x12",
       "not found \"天気\": [今日はいい|天気ですね]"},
      {"typing narrows from the line found back", "\x12天\x12気予",
       "not found \"天気予\": [今日はいい|天気ですね]"},
      {"Backspace searches again from the newest", "\x12天気予x\x7f",
       "search \"天気予\": [|天気予報]"},
      {"nothing found shows the line", "ab\x12zz", "not found \"zz\": [ab|]"},
      {"Enter sends the line found", "\x12ねこ\r", "Submit(ねこが好き) [|]"},
      {"Alt+Enter sends it with Ctrl", "\x12ねこ\x1b\r", "Submit+Ctrl(ねこが好き) [|]"},
      {"Ctrl+G gives the line back", "draft\x02\x12天気\x07", "[draf|t]"},
      {"so does Esc", "draft\x12天気\x1b[27u", "[draft|]"},
      {"an editing key takes the line and acts", "\x12ねこ\x06", "[ね|こが好き]"},
      {"Ctrl+K on the line found", "x\x12好き\x0b", "[ねこが|]"},
      {"Up goes on from the line found", "\x12天気予\x1b[A", "[ねこが好き|]"},
      {"Down comes back to the typed line", "typed\x12天気予\x1b[A\x1b[B\x1b[B\x1b[B", "[typed|]"},
      {"Ctrl+R Ctrl+R looks for the last search again", "\x12いぬ\x07\x12\x12",
       "search \"いぬ\": [|いぬ]"},
      {"view keys leave the search running", "\x12天気\x1b[5~",
       "search \"天気\": PageUp [|天気予報]"},
      {"a paste is searched for", "\x12\x1b[200~好き\x1b[201~", "search \"好き\": [ねこが|好き]"},
  };
  for (const auto& c : kCases) EXPECT_EQ(SearchDump(c.bytes), c.dump) << c.name;
}

TEST_F(LineEditorTest, CursorColumnCountsDisplayWidth) {
  const struct {
    const char* bytes;
    int32_t column;
  } kCases[] = {
      {"abc", 3},          {"日本語", 6},
      {"日本語\x1b[D", 4}, {"ｶﾀｶﾅ", 4},  // half-width katakana
      {"e\xcc\x81", 1},    {"a\xf0\x9f\x98\x80", 3},
  };
  for (const auto& c : kCases) {
    LineEditor editor;
    Type(editor, c.bytes);
    EXPECT_EQ(editor.CursorColumn(), c.column) << c.bytes;
  }
}

TEST_F(LineEditorTest, History) {
  const struct {
    const char* name;
    const char* bytes;
    const char* dump;
  } kCases[] = {
      {"up recalls the last line", "one\rtwo\r\x1b[A", "Submit(one) Submit(two) [two|]"},
      {"up stops at the oldest", "one\rtwo\r\x1b[A\x1b[A\x1b[A", "Submit(one) Submit(two) [one|]"},
      {"down comes back", "one\rtwo\r\x1b[A\x1b[A\x1b[B", "Submit(one) Submit(two) [two|]"},
      {"the typed line is kept", "one\rdra\x1b[A\x1b[B", "Submit(one) [dra|]"},
      {"SS3 arrows and Ctrl+P/N", "one\rx\x1bOA\x10\x0e\x1bOB", "Submit(one) [x|]"},
      {"down at the newest does nothing", "one\rx\x1b[B", "Submit(one) [x|]"},
      {"a recalled line is edited and sent", "one\r\x1b[Ax\r\x1b[A\x1b[A",
       "Submit(one) Submit(onex) [one|]"},
      {"repeats are kept once", "a\ra\r\x1b[A\x1b[A", "Submit(a) Submit(a) [a|]"},
      {"empty lines are not kept", "a\r\r\x1b[A", "Submit(a) Submit() [a|]"},
      {"no history", "x\x1b[A", "[x|]"},
  };
  for (const auto& c : kCases) EXPECT_EQ(Type(c.bytes), c.dump) << c.name;
}

// Lines of earlier sessions come from the history file: made valid lines, repeats kept once; a
// submitted line says whether it joined the history, so the caller knows to save it.
TEST_F(LineEditorTest, RememberedLines) {
  LineEditor editor;
  EXPECT_TRUE(editor.Remember("one"));
  EXPECT_FALSE(editor.Remember("one"));
  EXPECT_FALSE(editor.Remember("\x1b"));  // nothing left once the control is dropped
  EXPECT_TRUE(editor.Remember("t\x1bwo\xff"));
  EXPECT_EQ(Type(editor, "\x1b[A\x1b[A"), "[one|]");
  EXPECT_EQ(Type(editor, "\x1b[B"), "[two\xef\xbf\xbd|]");
  EXPECT_FALSE(editor.Feed('\r').remembered) << "the newest line again";
  Type(editor, "new");
  EXPECT_TRUE(editor.Feed('\r').remembered);
}

TEST_F(LineEditorTest, HistoryForgetsTheOldest) {
  LineEditor editor;
  for (size_t i = 0; i <= LineEditor::kMaxHistory; ++i) Type(editor, std::to_string(i) + "\r");
  std::string up;
  for (size_t i = 0; i < LineEditor::kMaxHistory + 5; ++i) up += "\x1b[A";
  EXPECT_EQ(Type(editor, up), "[1|]");
}

TEST_F(LineEditorTest, FlushAfterAPause) {
  const struct {
    const char* name;
    const char* before;
    const char* after;
    const char* dump;
  } kCases[] = {
      // A lone Esc must not swallow the next key.
      {"lone Esc", "a\x1b", "b", "[ab|]"},
      // An unfinished sequence is dropped, so "A" is text rather than cursor up.
      {"cut-off CSI", "one\r\x1b[", "A", "[A|]"},
      // A paste whose end marker never came must not leave Enter inserting spaces.
      {"lost paste end", "\x1b[200~x", "\r", "Submit(x) [|]"},
      // A UTF-8 character split across reads survives the pause.
      {"split character", "\xe3\x81", "\x82", "[あ|]"},
  };
  for (const auto& c : kCases) {
    LineEditor editor;
    Type(editor, c.before);
    EXPECT_TRUE(editor.Pending() || std::string(c.name) == "split character") << c.name;
    editor.Flush();
    EXPECT_EQ(Type(editor, c.after), c.dump) << c.name;
  }
}

TEST_F(LineEditorTest, LineIsBounded) {
  LineEditor editor;
  Type(editor, std::string(LineEditor::kMaxTextBytes - 1, 'a'));
  Type(editor, "あb");  // the three-byte character no longer fits, the letter does
  EXPECT_EQ(editor.Text().size(), LineEditor::kMaxTextBytes);
  EXPECT_EQ(editor.Text().back(), 'b');
  editor.SetText(std::string(LineEditor::kMaxTextBytes + 10, 'x'));
  EXPECT_EQ(editor.Text().size(), LineEditor::kMaxTextBytes);
  editor.SetText("a\x1b[31mb\xff");  // controls are dropped, malformed bytes replaced
  EXPECT_EQ(editor.Text(), "a[31mb\xef\xbf\xbd");
  EXPECT_EQ(editor.Cursor(), editor.Text().size());
}

}  // namespace
}  // namespace mimoza
