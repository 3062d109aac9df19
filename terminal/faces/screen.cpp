// terminal/faces/screen.cpp: the interactive face's view -> the bytes of one screen refresh.
// Leaves this file: Transcript::Add, LayoutFor, LayOutTranscript, EntryAtRow, ScrollTranscript,
// ScrollBox, TranscriptPageRows, BoxPageRows, ComposeFrame, KeyBarText, TitleSequence,
// ClipToWidth, WrapToWidth. The glyph tables, the entry looks, the key bar's items, the prompt,
// VisibleInput and the box drawing are private.
// Tested by tests/terminal/interactive_test.cpp.
#include "terminal/faces/screen.h"

#include <algorithm>
#include <iterator>

#include "terminal/common/encoding.h"
#include "terminal/common/safe_text.h"
#include "terminal/common/utf8.h"
#include "terminal/common/words.h"

namespace mimoza {
namespace {

constexpr const char* kPrompt = "> ";
constexpr int32_t kPromptWidth = 2;
// The key bar's items in the order they stand. need ranks them: where the bar is too narrow, the
// item of the greatest need number goes first, so that F3 and the way out stay longest: a
// newcomer who cannot tell why Mimoza answered or how to leave is lost; Enter needs no telling.
struct KeyItem {
  MessageId id;
  int8_t need;        // 0: the last to go
  bool whilePending;  // named only while a learning dialogue waits
};
constexpr KeyItem kKeyItems[] = {
    {MsgKeySend, 4, false},  {MsgKeyAddAnswer, 5, false}, {MsgKeyReadAll, 6, false},
    {MsgKeyWhy, 1, false},   {MsgKeyForget, 3, false},    {MsgKeyScroll, 7, false},
    {MsgKeyCancel, 2, true}, {MsgKeyQuit, 0, false},
};
constexpr size_t kKeyItemCount = sizeof kKeyItems / sizeof kKeyItems[0];
constexpr const char* kKeySeparator = "  ";
constexpr int32_t kKeySeparatorWidth = 2;

// The screen's own words in one language, UTF-8, converted once.
struct ScreenWords {
  std::string keyItems[kKeyItemCount];  // in kKeyItems' order
  std::string askHint;                  // under a question: its keys
  std::string boxHint;
  std::string searchHint;
  std::string scrolledHint;  // under a scrolled-back transcript, where the newest lines are gone
  std::string searching;     // the search's prompt, its text still a placeholder
  std::string searchFailed;
};

const ScreenWords& WordsOf(Language language) {
  static const auto make = [](Language in) {
    ScreenWords words{{},
                      Words(in, MsgForgetYesNo),
                      Words(in, MsgBoxHint),
                      Words(in, MsgSearchHint),
                      "  " + Words(in, MsgScrolledBack),
                      ToUtf8(MessageText(in, MsgSearching)),
                      ToUtf8(MessageText(in, MsgSearchFailed))};
    for (size_t i = 0; i < kKeyItemCount; ++i) words.keyItems[i] = Words(in, kKeyItems[i].id);
    return words;
  };
  static const ScreenWords kWords[] = {make(LanguageEnglish), make(LanguageJapanese)};
  return kWords[language == LanguageJapanese ? 1 : 0];
}
// Every transcript row starts with two cells: a user line's or a notice's mark, else an indent.
constexpr int32_t kEntryIndent = 2;

constexpr const char* kPlain = "";
constexpr const char* kBold = "\x1b[1m";
constexpr const char* kFaint = "\x1b[2m";
constexpr const char* kReset = "\x1b[0m";

// The characters drawn around and between texts; each is one cell wide.
struct Glyphs {
  const char* ellipsis;     // a line goes on beyond the edge
  const char* hiddenLeft;   // the input line hides text to the left
  const char* hiddenRight;  // ... or to the right
  const char* cleared;      // the faint mark of a cleared response
  const char* horizontal;
  const char* vertical;
  const char* topLeft;
  const char* topRight;
  const char* bottomLeft;
  const char* bottomRight;
};
constexpr Glyphs kUnicodeGlyphs = {"…", "…", "…", "·", "─", "│", "┌", "┐", "└", "┘"};
constexpr Glyphs kAsciiGlyphs = {">", "<", ">", "-", "-", "|", "+", "+", "+", "+"};

const Glyphs& GlyphsOf(const ScreenView& view) {
  return view.ascii ? kAsciiGlyphs : kUnicodeGlyphs;
}

int32_t RowsOf(const ScreenView& view) { return std::max(1, view.rows); }
int32_t ColumnsOf(const ScreenView& view) { return std::max(1, view.columns); }

// Looks of the entry kinds; kept in the order of EntryKind.
struct EntryLook {
  const char* mark;    // before an entry's first row, kEntryIndent cells
  const char* newest;  // the style of an entry of the newest turn; older turns are faint
};
constexpr EntryLook kEntryLooks[] = {
    {"> ", kBold},   // EntryUser
    {"  ", kPlain},  // EntryResponse
    {"  ", kFaint},  // EntryCleared
    {"! ", kPlain},  // EntryNotice
    {"", kFaint},    // EntryDivider
    {"  ", kFaint},  // EntryAside
    {"  ", kFaint},  // EntryIntro
};

std::string Goto(int32_t row, int32_t column) {
  return "\x1b[" + std::to_string(row) + ";" + std::to_string(column) + "H";
}

std::string Repeat(std::string_view piece, int32_t count) {
  std::string out;
  for (int32_t i = 0; i < count; ++i) out += piece;
  return out;
}

// Prompt: what stands before the input line: "> ", or during a reverse search what it looks for
// (cut to half the line, so the line found keeps room).
std::string Prompt(const ScreenView& view) {
  if (!view.searching) return kPrompt;
  const ScreenWords& words = WordsOf(view.language);
  const std::string searched = SanitizeLine(view.searchText);
  const std::string_view argument = searched;
  const std::string prompt =
      FillPlaceholders(view.searchFailed ? words.searchFailed : words.searching, {&argument, 1},
                       true) +
      ": ";
  return ClipToWidth(prompt, std::max(kPromptWidth, ColumnsOf(view) / 2), GlyphsOf(view).ellipsis);
}

// CellsAt: the cells of the character that starts at column, or 1 where the text ends before it
// (the cursor's own cell).
int32_t CellsAt(std::string_view text, int32_t column) {
  int32_t at = 0;
  size_t length = 0;
  for (size_t pos = 0; pos < text.size(); pos += length) {
    const int32_t cells = CharWidth(DecodeUtf8(text, pos, &length));
    if (at == column && cells > 0) return cells;
    at += cells;
  }
  return 1;
}

// VisibleInput: the part of the input line that fits in width cells with the cursor on screen,
// scrolled only as far as the cursor needs; *cursorCell is the cursor's cell within it. A faint
// marker takes the first or the last cell where text is hidden on that side; a line of fewer
// than four cells has no room for them and just scrolls.
std::string VisibleInput(std::string_view input, int32_t cursorColumn, int32_t width,
                         const Glyphs& glyphs, int32_t* cursorCell) {
  const bool marks = width >= 4;
  const int32_t total = DisplayWidth(input);
  const int32_t cursorCells = marks ? CellsAt(input, cursorColumn) : 1;
  const int32_t right = marks && total > cursorColumn + cursorCells ? 1 : 0;
  size_t pos = 0;
  int32_t skipped = 0;
  size_t length = 0;
  // Cells from the first shown to the cursor's character, with both markers, must fit.
  while (pos < input.size() &&
         (marks && skipped > 0 ? 1 : 0) + cursorColumn - skipped + cursorCells + right > width) {
    skipped += CharWidth(DecodeUtf8(input, pos, &length));
    pos += length;
    while (pos < input.size() && CharWidth(DecodeUtf8(input, pos, &length)) == 0) pos += length;
  }
  std::string out;
  int32_t used = 0;
  if (marks && skipped > 0) {
    out = std::string(kFaint) + glyphs.hiddenLeft + kReset;
    used = 1;
  }
  *cursorCell = used + cursorColumn - skipped;
  const int32_t limit = !marks || used + total - skipped <= width ? width : width - 1;
  while (pos < input.size()) {
    const char32_t c = DecodeUtf8(input, pos, &length);
    const int32_t cells = CharWidth(c);
    if (used + cells > limit) break;
    used += cells;
    AppendSanitized(out, c);
    pos += length;
  }
  if (marks && pos < input.size()) {
    out += Repeat(" ", width - 1 - used) + kFaint + glyphs.hiddenRight + kReset;
  }
  return out;
}

// EntryRows: the rows one entry takes at this width: its mark, then its text wrapped by display
// width, the rows after the first indented under it.
std::vector<std::string> EntryRows(const TranscriptEntry& entry, int32_t width,
                                   const Glyphs& glyphs) {
  if (entry.kind == EntryDivider) {
    // A rule across the row with the date of the turns above it.
    const std::string start = Repeat(glyphs.horizontal, 2) + " " + SanitizeLine(entry.text) + " ";
    return {ClipToWidth(start + Repeat(glyphs.horizontal, std::max(0, width - DisplayWidth(start))),
                        width, glyphs.ellipsis)};
  }
  std::vector<std::string> rows = entry.kind == EntryCleared
                                      ? std::vector<std::string>{glyphs.cleared}
                                      : WrapToWidth(entry.text, std::max(1, width - kEntryIndent));
  for (size_t i = 0; i < rows.size(); ++i) {
    const std::string_view lead = i == 0 ? kEntryLooks[entry.kind].mark : "  ";
    rows[i] = ClipToWidth(std::string(lead) + rows[i], width, glyphs.ellipsis);
  }
  return rows;
}

// RowCount: the rows an entry takes at the view's width, remembered with the entry.
int32_t RowCount(const ScreenView& view, const TranscriptEntry& entry) {
  if (entry.rowsWidth != ColumnsOf(view)) {
    entry.rowCount = static_cast<int32_t>(EntryRows(entry, ColumnsOf(view), GlyphsOf(view)).size());
    entry.rowsWidth = ColumnsOf(view);
  }
  return entry.rowCount;
}

// CountRows: the rows of the whole transcript, counted up to limit.
int64_t CountRows(const ScreenView& view, int64_t limit) {
  int64_t rows = 0;
  const std::deque<TranscriptEntry>& entries = view.transcript.Entries();
  for (size_t i = entries.size(); i-- > 0 && rows < limit;) rows += RowCount(view, entries[i]);
  return std::min(rows, limit);
}

// RowsBefore: `take` rows of the transcript ending `skip` rows before its newest one (fewer
// where it runs out), oldest first. Only the entries that reach them are wrapped.
std::vector<TranscriptRow> RowsBefore(const ScreenView& view, int64_t skip, size_t take) {
  std::vector<TranscriptRow> rows;
  const std::deque<TranscriptEntry>& entries = view.transcript.Entries();
  for (size_t i = entries.size(); i-- > 0 && rows.size() < take;) {
    const int32_t count = RowCount(view, entries[i]);
    if (skip >= count) {
      skip -= count;
      continue;
    }
    std::vector<std::string> texts = EntryRows(entries[i], ColumnsOf(view), GlyphsOf(view));
    for (int64_t r = count - 1 - skip; r >= 0 && rows.size() < take; --r) {
      rows.push_back({static_cast<int32_t>(i), std::move(texts[static_cast<size_t>(r)])});
    }
    skip = 0;
  }
  std::reverse(rows.begin(), rows.end());
  return rows;
}

// EntryStyle: the SGR sequence an entry is drawn in: its kind's look in the newest turn, faint
// in older ones and in those of earlier sessions.
const char* EntryStyle(const ScreenView& view, const TranscriptEntry& entry) {
  return entry.turn == view.transcript.NewestTurn() && !entry.earlier
             ? kEntryLooks[entry.kind].newest
             : kFaint;
}

// BoxShape: the box's text wrapped to the widest the screen allows, and how many of its lines
// fit at once: the frame takes two rows and the bottom row (the hint) stays visible.
struct BoxShape {
  std::vector<std::string> lines;
  int32_t usable = 1;   // the rows the box may take, from the top
  int32_t page = 1;     // lines shown at once
  int32_t lastTop = 0;  // the greatest boxScroll
};

BoxShape ShapeBox(const ScreenView& view) {
  BoxShape shape;
  shape.lines = WrapToWidth(view.boxText, std::max(1, ColumnsOf(view) - 4));
  shape.usable = RowsOf(view) - (LayoutFor(RowsOf(view)).hintRow != 0 ? 1 : 0);
  const auto count = static_cast<int32_t>(shape.lines.size());
  shape.page = std::max(1, std::min(count, shape.usable - 2));
  shape.lastTop = count - shape.page;
  return shape;
}

// ComposeBox: the framed box with its caption, centred above the bottom row, showing a page of
// its text from boxScroll on; where the text is longer than a page, the bottom edge tells which
// lines are shown.
std::string ComposeBox(const ScreenView& view) {
  const Glyphs& glyphs = GlyphsOf(view);
  const BoxShape shape = ShapeBox(view);
  const int32_t first = std::clamp(view.boxScroll, 0, shape.lastTop);
  const int32_t count = static_cast<int32_t>(shape.lines.size());
  const std::string position = count > shape.page ? std::to_string(first + 1) + "-" +
                                                        std::to_string(first + shape.page) + " / " +
                                                        std::to_string(count)
                                                  : std::string();
  const int32_t maxInner = std::max(1, ColumnsOf(view) - 4);
  const std::string caption = SanitizeLine(view.boxCaption);
  // Sized for every line, not only the shown ones, and for the widest position, so the box keeps
  // its width while scrolling.
  const std::string widest =
      position.empty()
          ? std::string()
          : std::to_string(count) + "-" + std::to_string(count) + " / " + std::to_string(count);
  int32_t inner = std::max(DisplayWidth(caption), DisplayWidth(widest)) + 2;
  for (const std::string& line : shape.lines) inner = std::max(inner, DisplayWidth(line));
  inner = std::min(inner, maxInner);
  const int32_t boxWidth = inner + 4;
  const int32_t top = std::max(1, (shape.usable - shape.page - 2) / 2 + 1);
  const int32_t left = std::max(1, (ColumnsOf(view) - boxWidth) / 2 + 1);

  // An edge: a corner, a piece of text after one horizontal, horizontals up to the other corner.
  const auto edge = [&](const char* start, const std::string& text, const char* end) {
    const std::string shown =
        text.empty() ? std::string() : " " + ClipToWidth(text, inner - 2, glyphs.ellipsis) + " ";
    return start + std::string(glyphs.horizontal) + shown +
           Repeat(glyphs.horizontal, std::max(0, boxWidth - 3 - DisplayWidth(shown))) + end;
  };
  std::string out = Goto(top, left) + edge(glyphs.topLeft, caption, glyphs.topRight);
  int32_t row = top + 1;
  for (int32_t i = first; i < first + shape.page; ++i) {
    const std::string& line = shape.lines[static_cast<size_t>(i)];
    out += Goto(row++, left) + glyphs.vertical + " " + ClipToWidth(line, inner, glyphs.ellipsis) +
           Repeat(" ", std::max(0, inner - DisplayWidth(line))) + " " + glyphs.vertical;
  }
  out += Goto(row, left) + edge(glyphs.bottomLeft, position, glyphs.bottomRight);
  return out;
}

}  // namespace

TranscriptEntry& Transcript::Add(EntryKind kind, std::string text) {
  if (kind == EntryUser) {
    ++turns;
    while (!entries.empty() && entries.front().turn <= turns - kMaxTurns) entries.pop_front();
  }
  TranscriptEntry& entry = entries.emplace_back();
  entry.kind = kind;
  entry.turn = turns;
  entry.text = std::move(text);
  return entry;
}

ScreenLayout LayoutFor(int32_t rows) {
  ScreenLayout layout;
  if (rows >= 7) {
    // A blank row under the title and one above the input line frame the transcript.
    layout.titleRow = 1, layout.transcriptTop = 3, layout.transcriptBottom = rows - 3;
    layout.inputRow = rows - 1, layout.hintRow = rows;
  } else if (rows >= 4) {
    layout.titleRow = 1, layout.transcriptTop = 2, layout.transcriptBottom = rows - 2;
    layout.inputRow = rows - 1, layout.hintRow = rows;
  } else if (rows == 3) {
    layout.titleRow = 1, layout.transcriptTop = 2, layout.transcriptBottom = 2, layout.inputRow = 3;
  } else if (rows == 2) {
    layout.transcriptTop = 1, layout.transcriptBottom = 1, layout.inputRow = 2;
  } else {
    layout.inputRow = 1;
  }
  return layout;
}

int32_t TranscriptPageRows(const ScreenView& view) {
  const ScreenLayout layout = LayoutFor(RowsOf(view));
  return layout.transcriptTop == 0 ? 1 : layout.transcriptBottom - layout.transcriptTop + 1;
}

std::vector<TranscriptRow> LayOutTranscript(const ScreenView& view) {
  if (LayoutFor(RowsOf(view)).transcriptTop == 0) return {};
  const int64_t height = TranscriptPageRows(view);
  // Scrolled back as far as the transcript reaches: its oldest row at the top.
  const int64_t reach =
      std::max<int64_t>(0, CountRows(view, height + view.transcriptScroll) - height);
  const int64_t scroll = std::clamp<int64_t>(view.transcriptScroll, 0, reach);
  std::vector<TranscriptRow> rows = RowsBefore(view, scroll, static_cast<size_t>(height));
  rows.insert(rows.begin(), static_cast<size_t>(height) - rows.size(), TranscriptRow());
  return rows;
}

int32_t EntryAtRow(const ScreenView& view, int32_t row) {
  const ScreenLayout layout = LayoutFor(RowsOf(view));
  if (layout.transcriptTop == 0 || row < layout.transcriptTop || row > layout.transcriptBottom) {
    return -1;
  }
  return LayOutTranscript(view)[static_cast<size_t>(row - layout.transcriptTop)].entry;
}

void ScrollTranscript(ScreenView& view, int32_t rows) {
  const int64_t height = TranscriptPageRows(view);
  const int64_t wanted =
      std::clamp(int64_t{view.transcriptScroll} + rows, int64_t{0}, int64_t{INT32_MAX} - height);
  const int64_t reach = std::max<int64_t>(0, CountRows(view, height + wanted) - height);
  view.transcriptScroll = static_cast<int32_t>(std::min(wanted, reach));
}

int32_t BoxPageRows(const ScreenView& view) { return ShapeBox(view).page; }

void ScrollBox(ScreenView& view, int32_t lines) {
  const int64_t wanted = int64_t{view.boxScroll} + lines;
  view.boxScroll = static_cast<int32_t>(std::clamp<int64_t>(wanted, 0, ShapeBox(view).lastTop));
}

std::string ComposeFrame(const ScreenView& view) {
  const int32_t rows = RowsOf(view);
  const int32_t columns = ColumnsOf(view);
  const Glyphs& glyphs = GlyphsOf(view);
  const ScreenLayout layout = LayoutFor(rows);
  const std::vector<TranscriptRow> transcript = LayOutTranscript(view);
  const std::string prompt = Prompt(view);
  const int32_t promptWidth = DisplayWidth(prompt);
  const int32_t inputWidth = std::max(1, columns - promptWidth);
  int32_t cursorCell = 0;

  std::string out = "\x1b[?25l";  // no cursor flicker while drawing
  for (int32_t row = 1; row <= rows; ++row) {
    out += Goto(row, 1);
    if (row == layout.titleRow) {
      out += kBold + ClipToWidth(SanitizeLine(view.title), columns, glyphs.ellipsis) + kReset;
    } else if (row >= layout.transcriptTop && row <= layout.transcriptBottom) {
      const TranscriptRow& shown = transcript[static_cast<size_t>(row - layout.transcriptTop)];
      if (shown.entry >= 0) {
        const char* style =
            EntryStyle(view, view.transcript.Entries()[static_cast<size_t>(shown.entry)]);
        out += style + shown.text + (style[0] != '\0' ? kReset : "");
      }
    } else if (row == layout.transcriptBottom + 1 && row < layout.inputRow &&
               view.transcriptScroll > 0) {
      out += kFaint + ClipToWidth(WordsOf(view.language).scrolledHint, columns, glyphs.ellipsis) +
             kReset;
    } else if (row == layout.inputRow) {
      out += prompt;
      out += VisibleInput(view.input, view.cursorColumn, inputWidth, glyphs, &cursorCell);
    } else if (row == layout.hintRow) {
      const ScreenWords& words = WordsOf(view.language);
      const std::string hint = view.boxOpen ? (view.boxAsks ? words.askHint : words.boxHint)
                               : view.searching
                                   ? words.searchHint
                                   : KeyBarText(view.language, columns, view.dialoguePending);
      out += kFaint + ClipToWidth(hint, columns, glyphs.ellipsis) + kReset;
    }
    out += "\x1b[K";
  }
  if (view.boxOpen) {
    out += ComposeBox(view);
  } else {
    out += Goto(layout.inputRow, promptWidth + 1 + cursorCell) + "\x1b[?25h";
  }
  return out;
}

std::string KeyBarText(Language language, int32_t columns, bool dialoguePending) {
  const ScreenWords& words = WordsOf(language);
  bool shown[kKeyItemCount] = {};
  int32_t width = -kKeySeparatorWidth;
  size_t count = 0;
  for (size_t i = 0; i < kKeyItemCount; ++i) {
    shown[i] = dialoguePending || !kKeyItems[i].whilePending;
    if (!shown[i]) continue;
    width += DisplayWidth(words.keyItems[i]) + kKeySeparatorWidth;
    ++count;
  }
  while (width > columns && count > 1) {
    size_t least = kKeyItemCount;
    for (size_t i = 0; i < kKeyItemCount; ++i) {
      if (shown[i] && (least == kKeyItemCount || kKeyItems[i].need > kKeyItems[least].need)) {
        least = i;
      }
    }
    shown[least] = false;
    width -= DisplayWidth(words.keyItems[least]) + kKeySeparatorWidth;
    --count;
  }
  std::string bar;
  for (size_t i = 0; i < kKeyItemCount; ++i) {
    if (shown[i]) bar += (bar.empty() ? "" : kKeySeparator) + words.keyItems[i];
  }
  return bar;
}

std::string TitleSequence(std::string_view title) {
  std::string out = "\x1b]0;";
  size_t length = 0;
  for (size_t pos = 0; pos < title.size(); pos += length) {
    const char32_t c = DecodeUtf8(title, pos, &length);
    if (!IsControlChar(c)) AppendUtf8(out, c);
  }
  return out + "\x07";
}

std::string ClipToWidth(std::string_view utf8, int32_t width, std::string_view ellipsis) {
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
  return out + std::string(ellipsis);
}

// A full line breaks after its last space, if it has one past its start (words of text
// without spaces, such as Japanese, break anywhere).
namespace {

// ClosesText: a Japanese mark that closes what comes before it (、。」 and the like), which a
// reader expects never to start a line.
bool ClosesText(char32_t c) {
  static constexpr char32_t kClosing[] = {U'、', U'。', U'，', U'．', U'」', U'』',
                                          U'）', U'】', U'！', U'？', U'〉', U'》'};
  return std::find(std::begin(kClosing), std::end(kClosing), c) != std::end(kClosing);
}

}  // namespace

std::vector<std::string> WrapToWidth(std::string_view utf8, int32_t width) {
  width = std::max(1, width);
  utf8 = DropFinalBreak(utf8);
  std::vector<std::string> lines(1);
  int32_t used = 0;
  size_t space = std::string::npos;  // where the last space of the line stands
  size_t length = 0;
  for (size_t pos = 0; pos < utf8.size(); pos += length) {
    const char32_t c = DecodeUtf8(utf8, pos, &length);
    if (c == '\n') {
      lines.emplace_back();
      used = 0;
      space = std::string::npos;
      continue;
    }
    const int32_t cells =
        CharWidth(IsControlChar(c) && c != '\t' && c != '\r' ? kReplacementChar : c);
    if (used + cells > width && used > 0) {
      std::string rest;
      if (c == ' ') {
        space = std::string::npos;
      } else if (space != std::string::npos && space > 0) {
        rest = lines.back().substr(space + 1);
        lines.back().erase(space);
      } else if (ClosesText(c)) {
        // A closing mark never starts a line: the character before it comes along.
        size_t last = lines.back().size();
        while (last > 0 && (static_cast<unsigned char>(lines.back()[--last]) & 0xC0) == 0x80) {
        }
        if (last > 0) {
          rest = lines.back().substr(last);
          lines.back().erase(last);
        }
      }
      lines.push_back(std::move(rest));
      used = DisplayWidth(lines.back());
      space = std::string::npos;
      if (c == ' ') continue;  // the break stands for it
    }
    if (c == ' ') space = lines.back().size();
    used += cells;
    AppendSanitized(lines.back(), c);
  }
  return lines;
}

}  // namespace mimoza
