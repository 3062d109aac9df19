// terminal/faces/line_editor.h: key bytes -> an edited UTF-8 input line and the actions it asks for
// (submit, with or without Ctrl; show the last response or why it came; a mouse click; scroll;
// suspend; quit), with the history of submitted lines that Up, Down and the reverse search
// (Ctrl+R) walk, readline's word motions and kills, and a kill ring of one for Ctrl+Y.
// Our own small editor rather than readline or libedit: neither can tell Ctrl+Enter from Enter
// nor report a mouse click on the response line, and a Feed(byte) state machine is testable
// without a terminal.
// Leaves this file: EditorActionKind, EditorAction, LineEditor. Tested by
// tests/terminal/line_editor_test.cpp; fuzzed by fuzz/line_editor_fuzz.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "terminal/common/history.h"
#include "terminal/common/utf8.h"
#include "terminal/faces/keys.h"

namespace mimoza {

enum EditorActionKind : int8_t {
  ActNone = 0,   // nothing for the caller to do
  ActEdited,     // the line or the cursor changed: redraw the input line
  ActSubmit,     // Enter: line holds the submitted text (possibly empty), ctrl the Ctrl flag
  ActShowLast,   // F2: show the whole last response
  ActWhy,        // F3: explain the last turn
  ActForget,     // F4: offer to forget what the last turn showed
  ActClick,      // left mouse button pressed at x, y (1-based)
  ActQuit,       // Ctrl+D on an empty line, or Ctrl+C
  ActRedraw,     // Ctrl+L: draw the whole screen again
  ActPageUp,     // Page Up: scroll the transcript back a page
  ActPageDown,   // Page Down: scroll it forward a page
  ActWheelUp,    // the mouse wheel turned up at x, y: scroll back a little
  ActWheelDown,  // the mouse wheel turned down at x, y: scroll forward a little
  ActSuspend,    // Ctrl+Z: stop the program as job control does
};

struct EditorAction {
  EditorActionKind kind = ActNone;
  bool ctrl = false;        // ActSubmit: Ctrl+Enter or Alt+Enter
  bool remembered = false;  // ActSubmit: the line joined the history (a caller may save it)
  int32_t x = 0;            // ActClick and the wheel: column
  int32_t y = 0;            // ActClick and the wheel: row
  std::string line;         // ActSubmit: the line as typed, UTF-8
};

class LineEditor {
 public:
  // The limits, and why, are in knowledge/limits.h.
  static constexpr size_t kMaxTextBytes = kMaxEditedLineBytes;
  static constexpr size_t kMaxHistory = kMaxHistoryLines;

  // Feed: one byte from the terminal; returns what the key it completes asks for.
  EditorAction Feed(unsigned char byte);
  // Apply: one decoded key (Feed uses it; a caller that decodes keys itself may too).
  EditorAction Apply(const Key& key);
  // Decode: one byte into a key without applying it, for a caller that lets some keys bypass
  // the line (such as the one that closes a box).
  Key Decode(unsigned char byte) { return decoder.Feed(byte); }
  // Pending: true while a key sequence or a paste is unfinished; the caller calls Flush (or
  // FlushKey and then Apply) when the input then pauses, so a lone Esc counts and a paste with a
  // lost end marker ends.
  bool Pending() const { return decoder.Pending() || pasting; }
  EditorAction Flush() { return Apply(FlushKey()); }
  Key FlushKey();

  // SetText: replaces the line, cursor at its end; controls are dropped, malformed UTF-8 becomes
  // U+FFFD and text beyond kMaxTextBytes is dropped at a character boundary.
  void SetText(std::string_view utf8);
  // Remember: adds a line to the history as Up will show it (made a valid line as SetText does),
  // forgetting the oldest beyond kMaxHistory. An empty line, or one equal to the newest, is not
  // added; returns whether this one was. Browsing starts again from the newest line.
  bool Remember(std::string_view utf8);
  const std::string& Text() const { return text; }
  size_t Cursor() const { return cursor; }  // byte offset into Text(), on a character start
  // CursorColumn: the display width of the text before the cursor.
  int32_t CursorColumn() const;

  // While a reverse search runs, Text() is the line found (the line as it was until one is) with
  // the cursor at the match; these tell the prompt what is searched for.
  bool Searching() const { return searching; }
  const std::string& SearchText() const { return searchText; }
  bool SearchFailed() const { return searchFailed; }  // no line holds SearchText()
  // CancelSearch: leaves a search, giving back the line and cursor as they were before it
  // (Esc, Ctrl+G). Returns false, changing nothing, when no search runs.
  bool CancelSearch();

 private:
  EditorAction Insert(char32_t c);
  EditorAction Submit(bool ctrl);
  EditorAction Recall(bool older);
  EditorAction Kill(size_t from, size_t to, bool wasKilling);
  EditorAction Yank();
  EditorAction Transpose();
  bool SearchKey(const Key& key, EditorAction* action);
  EditorAction Search(size_t below, bool skipShown);
  void AcceptSearch();
  static std::string ValidLine(std::string_view utf8);
  size_t NextBoundary(size_t pos) const;
  size_t PrevBoundary(size_t pos) const;
  size_t WordStart(size_t pos) const;
  size_t WordEnd(size_t pos) const;

  KeyDecoder decoder;
  std::string text;                  // the line being edited, valid UTF-8
  size_t cursor = 0;                 // byte offset, always at a cluster boundary
  std::vector<std::string> history;  // remembered non-empty lines, oldest first
  size_t historyIndex = 0;           // == history.size() while editing a new line
  std::string draft;                 // the new line, kept while browsing the history
  bool pasting = false;              // inside a bracketed paste: line breaks become spaces
  std::string killed;                // what the last kill removed, for Ctrl+Y
  bool killing = false;              // the last key killed: the next kill adds to killed
  // The reverse search. The lines searched are those older than historyIndex when it began.
  bool searching = false;
  std::string searchText;     // what is searched for, UTF-8
  std::string lastSearch;     // Ctrl+R on an empty search looks for this again
  bool searchFailed = false;  // no line holds searchText; the last line found stays shown
  size_t searchFrom = 0;      // historyIndex when the search began
  size_t matchIndex = 0;      // the history index of the line shown; searchFrom: none yet
  std::string savedText;      // the line and cursor before the search, for Esc and Ctrl+G
  size_t savedCursor = 0;
};

}  // namespace mimoza
