// terminal/screen.h: what the interactive face shows (title, response line, input line, the box
// with the whole last response) -> the bytes of one screen refresh.
// Leaves this file: ScreenLayout, ScreenView, LayoutFor, ComposeFrame, TitleSequence,
// SanitizeLine, ClipToWidth, WrapToWidth. Tested by tests/terminal/interactive_test.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mimoza {

// Rows of the screen, 1-based; 0 means the row does not fit and is not shown.
struct ScreenLayout {
  int32_t titleRow = 0;     // the title as a heading
  int32_t responseRow = 0;  // the response line; a click on it shows the whole response
  int32_t inputRow = 0;     // "> " and the line being typed
  int32_t hintRow = 0;      // the keys
};

// Everything one refresh draws. Texts are UTF-8 as the host converted them; they may still hold
// control characters from the data files, which are made harmless here.
struct ScreenView {
  int32_t rows = 24;
  int32_t columns = 80;
  std::string title;
  std::string response;
  std::string input;         // the line being edited
  int32_t cursorColumn = 0;  // display width of the input before the cursor
  bool boxOpen = false;      // the whole last response is shown in a framed box
  std::string boxCaption;
  std::string boxText;
};

// LayoutFor: the rows used on a screen of that height (at least one row: the input line).
ScreenLayout LayoutFor(int32_t rows);

// ComposeFrame: the bytes that redraw the whole screen and place (or, under the box, hide) the
// cursor; sent with one write.
std::string ComposeFrame(const ScreenView& view);

// TitleSequence: OSC 0 setting the terminal's title; controls are dropped so the title cannot
// end the sequence early.
std::string TitleSequence(std::string_view title);

// SanitizeLine: text for one screen line: one final line break dropped (a quip ends with one),
// other line breaks and tabs shown as spaces, other controls and malformed UTF-8 as U+FFFD.
std::string SanitizeLine(std::string_view utf8);

// ClipToWidth: the text if it fits in width cells, else its beginning and "…" in width cells.
std::string ClipToWidth(std::string_view utf8, int32_t width);

// WrapToWidth: the text cut into lines of at most width cells, at its line breaks and wherever a
// line is full; controls as in SanitizeLine.
std::vector<std::string> WrapToWidth(std::string_view utf8, int32_t width);

}  // namespace mimoza
