// terminal/screen.cpp: the interactive face's view -> the bytes of one screen refresh.
// Leaves this file: LayoutFor, ComposeFrame, TitleSequence, SanitizeLine, ClipToWidth,
// WrapToWidth. VisibleInput and the box drawing are private.
// Tested by tests/terminal/interactive_test.cpp.
#include "terminal/screen.h"

#include <algorithm>

#include "terminal/utf8.h"

namespace mimoza {
namespace {

constexpr const char* kPrompt = "> ";
constexpr int32_t kPromptWidth = 2;
constexpr const char* kKeysHint =
    "Enter: send  Alt+Enter: send with Ctrl  F2 or click: read it all  Ctrl+D: quit";
constexpr const char* kBoxHint = "Any key: close";

bool IsControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c < 0xA0); }

std::string Goto(int32_t row, int32_t column) {
  return "\x1b[" + std::to_string(row) + ";" + std::to_string(column) + "H";
}

std::string Repeat(std::string_view piece, int32_t count) {
  std::string out;
  for (int32_t i = 0; i < count; ++i) out += piece;
  return out;
}

// DropFinalBreak: a quip keeps the line break that ended it in its file; it ends the text, it is
// not an empty line after it.
std::string_view DropFinalBreak(std::string_view text) {
  if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  return text;
}

// AppendShown: appends one code point as it is shown on a line.
void AppendShown(std::string& out, char32_t c) {
  if (c == '\n' || c == '\r' || c == '\t') {
    out += ' ';
  } else {
    AppendUtf8(out, IsControl(c) ? kReplacementChar : c);
  }
}

// VisibleInput: the part of the input line that fits in width cells with the cursor on screen,
// scrolled only as far as the cursor needs; *cursorCell is the cursor's cell within it.
std::string VisibleInput(std::string_view input, int32_t cursorColumn, int32_t width,
                         int32_t* cursorCell) {
  size_t pos = 0;
  int32_t skipped = 0;
  size_t length = 0;
  while (pos < input.size() && cursorColumn - skipped > width - 1) {
    skipped += CharWidth(DecodeUtf8(input, pos, &length));
    pos += length;
    while (pos < input.size() && CharWidth(DecodeUtf8(input, pos, &length)) == 0) pos += length;
  }
  *cursorCell = cursorColumn - skipped;
  std::string out;
  int32_t used = 0;
  while (pos < input.size()) {
    const char32_t c = DecodeUtf8(input, pos, &length);
    const int32_t cells = CharWidth(c);
    if (used + cells > width) break;
    used += cells;
    AppendShown(out, c);
    pos += length;
  }
  return out;
}

// ComposeBox: the framed box with its caption, centred, over what is already drawn.
std::string ComposeBox(const ScreenView& view, const ScreenLayout& layout) {
  const int32_t maxInner = std::max(1, view.columns - 4);
  std::vector<std::string> lines = WrapToWidth(view.boxText, maxInner);
  // The frame takes two rows and the hint keeps its own.
  const int32_t maxLines = std::max(1, view.rows - 2 - (layout.hintRow != 0 ? 1 : 0));
  if (static_cast<int32_t>(lines.size()) > maxLines) {
    lines.resize(static_cast<size_t>(maxLines));
    lines.back() = "…";
  }
  const std::string caption = SanitizeLine(view.boxCaption);
  int32_t inner = DisplayWidth(caption) + 2;
  for (const std::string& line : lines) inner = std::max(inner, DisplayWidth(line));
  inner = std::min(inner, maxInner);
  const std::string shownCaption = ClipToWidth(caption, std::max(0, inner - 2));
  const int32_t boxWidth = inner + 4;
  const int32_t boxHeight = static_cast<int32_t>(lines.size()) + 2;
  const int32_t top = std::max(1, (view.rows - boxHeight) / 2 + 1);
  const int32_t left = std::max(1, (view.columns - boxWidth) / 2 + 1);

  std::string out = Goto(top, left);
  const std::string head = "┌─ " + shownCaption + " ";
  out += head + Repeat("─", std::max(0, boxWidth - 1 - DisplayWidth(head))) + "┐";
  int32_t row = top + 1;
  for (const std::string& line : lines) {
    out += Goto(row++, left) + "│ " + line + Repeat(" ", inner - DisplayWidth(line)) + " │";
  }
  out += Goto(row, left) + "└" + Repeat("─", boxWidth - 2) + "┘";
  return out;
}

}  // namespace

ScreenLayout LayoutFor(int32_t rows) {
  ScreenLayout layout;
  if (rows >= 7) {
    layout.titleRow = 1, layout.responseRow = 3, layout.inputRow = 5, layout.hintRow = 7;
  } else if (rows >= 3) {
    layout.titleRow = 1, layout.responseRow = 2, layout.inputRow = 3;
  } else if (rows == 2) {
    layout.responseRow = 1, layout.inputRow = 2;
  } else {
    layout.inputRow = 1;
  }
  return layout;
}

std::string ComposeFrame(const ScreenView& view) {
  const int32_t rows = std::max(1, view.rows);
  const int32_t columns = std::max(1, view.columns);
  const ScreenLayout layout = LayoutFor(rows);
  const int32_t inputWidth = std::max(1, columns - kPromptWidth);
  int32_t cursorCell = 0;

  std::string out = "\x1b[?25l";  // no cursor flicker while drawing
  for (int32_t row = 1; row <= rows; ++row) {
    out += Goto(row, 1);
    if (row == layout.titleRow) {
      out += "\x1b[1m" + ClipToWidth(SanitizeLine(view.title), columns) + "\x1b[0m";
    } else if (row == layout.responseRow) {
      out += ClipToWidth(SanitizeLine(view.response), columns);
    } else if (row == layout.inputRow) {
      out += kPrompt;
      out += VisibleInput(view.input, view.cursorColumn, inputWidth, &cursorCell);
    } else if (row == layout.hintRow) {
      out += "\x1b[2m" + ClipToWidth(view.boxOpen ? kBoxHint : kKeysHint, columns) + "\x1b[0m";
    }
    out += "\x1b[K";
  }
  if (view.boxOpen) {
    ScreenView sized = view;
    sized.rows = rows;
    sized.columns = columns;
    out += ComposeBox(sized, layout);
  } else {
    out += Goto(layout.inputRow, kPromptWidth + 1 + cursorCell) + "\x1b[?25h";
  }
  return out;
}

std::string TitleSequence(std::string_view title) {
  std::string out = "\x1b]0;";
  size_t length = 0;
  for (size_t pos = 0; pos < title.size(); pos += length) {
    const char32_t c = DecodeUtf8(title, pos, &length);
    if (!IsControl(c)) AppendUtf8(out, c);
  }
  return out + "\x07";
}

std::string SanitizeLine(std::string_view utf8) {
  utf8 = DropFinalBreak(utf8);
  std::string out;
  size_t length = 0;
  for (size_t pos = 0; pos < utf8.size(); pos += length)
    AppendShown(out, DecodeUtf8(utf8, pos, &length));
  return out;
}

std::string ClipToWidth(std::string_view utf8, int32_t width) {
  if (width <= 0) return "";
  if (DisplayWidth(utf8) <= width) return std::string(utf8);
  std::string out;
  int32_t used = 0;
  size_t length = 0;
  for (size_t pos = 0; pos < utf8.size(); pos += length) {
    const char32_t c = DecodeUtf8(utf8, pos, &length);
    const int32_t cells = CharWidth(c);
    if (used + cells > width - 1) break;
    used += cells;
    AppendUtf8(out, c);
  }
  return out + "…";
}

std::vector<std::string> WrapToWidth(std::string_view utf8, int32_t width) {
  width = std::max(1, width);
  utf8 = DropFinalBreak(utf8);
  std::vector<std::string> lines(1);
  int32_t used = 0;
  size_t length = 0;
  for (size_t pos = 0; pos < utf8.size(); pos += length) {
    const char32_t c = DecodeUtf8(utf8, pos, &length);
    if (c == '\n') {
      lines.emplace_back();
      used = 0;
      continue;
    }
    const int32_t cells = CharWidth(IsControl(c) && c != '\t' && c != '\r' ? kReplacementChar : c);
    if (used + cells > width && used > 0) {
      lines.emplace_back();
      used = 0;
    }
    used += cells;
    AppendShown(lines.back(), c);
  }
  return lines;
}

}  // namespace mimoza
