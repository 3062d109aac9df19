// terminal/faces/screen.h: what the interactive face shows (the title, the transcript of the
// session below the last turns of the one before, the input line or a reverse search, the key
// bar and the box with a whole response or a question) -> the bytes of one screen refresh, and
// which transcript entry a row shows.
// Leaves this file: EntryKind, TranscriptEntry, Transcript, ScreenLayout, ScreenView,
// TranscriptRow, LayoutFor, LayOutTranscript, EntryAtRow, ScrollTranscript, ScrollBox,
// TranscriptPageRows, BoxPageRows, ComposeFrame, KeyBarText, TitleSequence, ClipToWidth,
// WrapToWidth.
// Tested by tests/terminal/interactive_test.cpp.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "conversation/messages.h"
#include "knowledge/limits.h"

namespace mimoza {

// Each kind has its own look in the transcript (see LookOf in screen.cpp).
enum EntryKind : int8_t {
  EntryUser = 0,  // a line the user submitted; it starts a turn
  EntryResponse,  // a response the engine set
  EntryCleared,   // the engine cleared the response line: shown as a faint mark
  EntryNotice,    // a one-line message of the program itself, not of the engine
  EntryDivider,   // a faint rule under the turns of an earlier session; text holds its date
  EntryAside,     // a faint remark of the program on the turn, such as a dropped dialogue
  EntryIntro,     // the faint line that says what Mimoza is, until the first line is sent
};

struct TranscriptEntry {
  EntryKind kind = EntryNotice;
  int64_t turn = 0;      // the user lines so far, its own included; 0 before the first
  std::string text;      // UTF-8 as the host converted it; controls are made harmless when drawn
  std::string whole;     // responses: what a click shows when it differs from text (a cleared
                         // response still has what its turn drew)
  bool earlier = false;  // from an earlier session: always faint; a click shows its own text
  // Remembered by the layout, so a refresh scrolled far back need not wrap every newer entry.
  mutable int32_t rowCount = 0;   // the rows it takes at rowsWidth columns
  mutable int32_t rowsWidth = 0;  // 0 while not counted
};

// The session so far, oldest first, bounded by turns.
class Transcript {
 public:
  // Turns kept (knowledge/limits.h says why).
  static constexpr int64_t kMaxTurns = kMaxTranscriptTurns;

  // Add: appends an entry to the newest turn; a user line starts a new turn, and then the oldest
  // turn is forgotten when there are more than kMaxTurns. Returns the entry.
  TranscriptEntry& Add(EntryKind kind, std::string text);
  const std::deque<TranscriptEntry>& Entries() const { return entries; }
  std::deque<TranscriptEntry>& Entries() { return entries; }
  int64_t NewestTurn() const { return turns; }

 private:
  std::deque<TranscriptEntry> entries;
  int64_t turns = 0;
};

// Rows of the screen, 1-based; 0 means the row does not fit and is not shown.
struct ScreenLayout {
  int32_t titleRow = 0;          // the title as a heading
  int32_t transcriptTop = 0;     // the first row of the transcript
  int32_t transcriptBottom = 0;  // its last row, just above the input line (or a blank row)
  int32_t inputRow = 0;          // "> " and the line being typed
  int32_t hintRow = 0;           // the keys; the box never covers it
};

// Everything one refresh draws. Texts are UTF-8 as the host converted them; they may still hold
// control characters from the data files, which are made harmless here.
struct ScreenView {
  int32_t rows = 24;
  int32_t columns = 80;
  bool ascii = false;  // frames and marks in ASCII: the terminal's charset lacks them or shows
                       // them two cells wide
  Language language = LanguageEnglish;  // of the hints and the search's words
  std::string title;
  Transcript transcript;
  int32_t transcriptScroll = 0;  // rows scrolled back from the newest; 0 shows the newest
  std::string input;             // the line being edited
  int32_t cursorColumn = 0;      // display width of the input before the cursor
  bool dialoguePending = false;  // a learning dialogue waits: the key bar names Esc
  bool searching = false;        // a reverse search runs: input is the line found
  std::string searchText;        // what it looks for
  bool searchFailed = false;     // no line holds searchText
  bool boxOpen = false;          // a whole response is shown in a framed box
  bool boxAsks = false;          // ... or a question, answered with y or n (the hint says so)
  std::string boxCaption;
  std::string boxText;
  int32_t boxScroll = 0;  // the first line of boxText shown
};

// One row of the transcript area, as LayOutTranscript fills it.
struct TranscriptRow {
  int32_t entry = -1;  // index into the transcript's entries; -1 for a blank row
  std::string text;    // what to print, mark and indent included, within the width
};

// LayoutFor: the rows used on a screen of that height (at least one row: the input line).
ScreenLayout LayoutFor(int32_t rows);

// LayOutTranscript: the rows that fill the transcript area, oldest at the top, scrolled back
// by transcriptScroll (as far as the transcript reaches); blank rows above a short transcript.
// Only the entries that reach the area are wrapped.
std::vector<TranscriptRow> LayOutTranscript(const ScreenView& view);

// EntryAtRow: the index of the transcript entry a screen row shows, or -1.
int32_t EntryAtRow(const ScreenView& view, int32_t row);

// ScrollTranscript / ScrollBox: move back (positive rows or lines) or forward, staying within
// the text; a move of 0 brings a scroll back within it after a resize.
void ScrollTranscript(ScreenView& view, int32_t rows);
void ScrollBox(ScreenView& view, int32_t lines);
// TranscriptPageRows / BoxPageRows: how many rows of text each shows at once (at least 1).
int32_t TranscriptPageRows(const ScreenView& view);
int32_t BoxPageRows(const ScreenView& view);

// ComposeFrame: the bytes that redraw the whole screen and place (or, under the box, hide) the
// cursor; sent with one write.
std::string ComposeFrame(const ScreenView& view);

// KeyBarText: the key bar of the input line in language, fitted to columns: the items stand in
// their order, and where they do not all fit, the least needed go first (the cancel key is named
// only while a learning dialogue waits); what still does not fit is clipped.
std::string KeyBarText(Language language, int32_t columns, bool dialoguePending);

// TitleSequence: OSC 0 setting the terminal's title; controls are dropped so the title cannot
// end the sequence early.
std::string TitleSequence(std::string_view title);

// ClipToWidth: the text if it fits in width cells, else its beginning and the one-cell
// ellipsis in width cells.
std::string ClipToWidth(std::string_view utf8, int32_t width, std::string_view ellipsis = "…");

// WrapToWidth: the text cut into lines of at most width cells, at its line breaks and wherever a
// line is full; controls as in SanitizeLine (terminal/common/safe_text.h).
std::vector<std::string> WrapToWidth(std::string_view utf8, int32_t width);

}  // namespace mimoza
