// terminal/line_editor.cpp: key bytes -> an edited UTF-8 input line and the actions it asks for.
// Leaves this file: LineEditor, DecodeUtf8, CharWidth, DisplayWidth, AppendUtf8.
// Tested by tests/terminal/line_editor_test.cpp; fuzzed by fuzz/line_editor_fuzz.cpp.
#include "terminal/line_editor.h"

#include <cwchar>

namespace mimoza {
namespace {

EditorAction Action(EditorActionKind kind) {
  EditorAction action;
  action.kind = kind;
  return action;
}

}  // namespace

char32_t DecodeUtf8(std::string_view text, size_t pos, size_t* length) {
  *length = 1;
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x80) return lead;
  int32_t extra = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1, value = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2, value = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3, value = lead & 0x07, minimum = 0x10000;
  } else {
    return 0xFFFD;
  }
  if (pos + static_cast<size_t>(extra) >= text.size()) return 0xFFFD;  // cut short
  for (int32_t i = 1; i <= extra; ++i) {
    const auto next = static_cast<unsigned char>(text[pos + i]);
    if ((next & 0xC0) != 0x80) return 0xFFFD;
    value = (value << 6) | (next & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0xFFFD;
  *length = static_cast<size_t>(extra) + 1;
  return value;
}

int32_t CharWidth(char32_t c) {
  const int width = wcwidth(static_cast<wchar_t>(c));
  return width < 0 ? 1 : width;
}

int32_t DisplayWidth(std::string_view utf8) {
  int32_t width = 0;
  for (size_t pos = 0; pos < utf8.size();) {
    size_t length = 0;
    width += CharWidth(DecodeUtf8(utf8, pos, &length));
    pos += length;
  }
  return width;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

EditorAction LineEditor::Feed(unsigned char byte) { return Apply(decoder.Feed(byte)); }

Key LineEditor::FlushKey() {
  pasting = false;
  return decoder.Flush();
}

EditorAction LineEditor::Apply(const Key& key) {
  switch (key.kind) {
    case KeyNone:
      return Action(ActNone);
    case KeyChar:
      return Insert(key.codePoint);
    case KeyEnter:
      // A paste is text, never a submission: its line breaks join the line.
      return pasting ? Insert(U' ') : Submit(key.ctrl);
    case KeyBackspace:
      if (cursor == 0) return Action(ActNone);
      {
        const size_t start = PrevBoundary(cursor);
        text.erase(start, cursor - start);
        cursor = start;
      }
      return Action(ActEdited);
    case KeyCtrlD:
      if (text.empty()) return Action(ActQuit);
      [[fallthrough]];
    case KeyDelete:
      if (cursor == text.size()) return Action(ActNone);
      text.erase(cursor, NextBoundary(cursor) - cursor);
      return Action(ActEdited);
    case KeyLeft:
      if (cursor == 0) return Action(ActNone);
      cursor = PrevBoundary(cursor);
      return Action(ActEdited);
    case KeyRight:
      if (cursor == text.size()) return Action(ActNone);
      cursor = NextBoundary(cursor);
      return Action(ActEdited);
    case KeyHome:
      cursor = 0;
      return Action(ActEdited);
    case KeyEnd:
      cursor = text.size();
      return Action(ActEdited);
    case KeyUp:
      return Recall(true);
    case KeyDown:
      return Recall(false);
    case KeyKillToEnd:
      text.erase(cursor);
      return Action(ActEdited);
    case KeyKillToStart:
      text.erase(0, cursor);
      cursor = 0;
      return Action(ActEdited);
    case KeyInterrupt:
      return Action(ActQuit);
    case KeyRedraw:
      return Action(ActRedraw);
    case KeyShowLast:
      return Action(ActShowLast);
    case KeyMousePress: {
      EditorAction action = Action(ActClick);
      action.x = key.x;
      action.y = key.y;
      return action;
    }
    case KeyPasteStart:
      pasting = true;
      return Action(ActNone);
    case KeyPasteEnd:
      pasting = false;
      return Action(ActNone);
    case KeyEscape:
    case KeyOther:
      return Action(ActNone);
  }
  return Action(ActNone);
}

void LineEditor::SetText(std::string_view utf8) {
  text.clear();
  for (size_t pos = 0; pos < utf8.size();) {
    size_t length = 0;
    const char32_t c = DecodeUtf8(utf8, pos, &length);
    pos += length;
    if (c < 0x20 || c == 0x7F) continue;  // a line holds no controls
    std::string encoded;
    AppendUtf8(encoded, c);
    if (text.size() + encoded.size() > kMaxTextBytes) break;
    text += encoded;
  }
  cursor = text.size();
}

int32_t LineEditor::CursorColumn() const {
  return DisplayWidth(std::string_view(text).substr(0, cursor));
}

EditorAction LineEditor::Insert(char32_t c) {
  std::string encoded;
  AppendUtf8(encoded, c);
  if (text.size() + encoded.size() > kMaxTextBytes) return Action(ActNone);
  text.insert(cursor, encoded);
  // A combining mark joins the character before the cursor, so the cursor stays after both.
  cursor = NextBoundary(PrevBoundary(cursor + encoded.size()));
  return Action(ActEdited);
}

EditorAction LineEditor::Submit(bool ctrl) {
  EditorAction action = Action(ActSubmit);
  action.ctrl = ctrl;
  action.line = std::move(text);
  text.clear();
  cursor = 0;
  draft.clear();
  if (!action.line.empty() && (history.empty() || history.back() != action.line)) {
    if (history.size() == kMaxHistory) history.erase(history.begin());
    history.push_back(action.line);
  }
  historyIndex = history.size();
  return action;
}

// Recall: Up steps to older lines, Down back towards the line being typed, which is kept aside
// meanwhile. A recalled line may be edited and submitted; the history itself is not changed.
EditorAction LineEditor::Recall(bool older) {
  if (older) {
    if (historyIndex == 0) return Action(ActNone);
    if (historyIndex == history.size()) draft = text;
    --historyIndex;
    text = history[historyIndex];
  } else {
    if (historyIndex >= history.size()) return Action(ActNone);
    ++historyIndex;
    text = historyIndex == history.size() ? draft : history[historyIndex];
  }
  cursor = text.size();
  return Action(ActEdited);
}

// A cluster is a character with the zero-width marks that follow it; the cursor moves, and
// Backspace and Delete remove, one cluster at a time.
size_t LineEditor::NextBoundary(size_t pos) const {
  size_t length = 0;
  DecodeUtf8(text, pos, &length);
  pos += length;
  while (pos < text.size()) {
    const char32_t c = DecodeUtf8(text, pos, &length);
    if (CharWidth(c) != 0) break;
    pos += length;
  }
  return pos;
}

size_t LineEditor::PrevBoundary(size_t pos) const {
  while (pos > 0) {
    do {
      --pos;
    } while (pos > 0 && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80);
    size_t length = 0;
    if (CharWidth(DecodeUtf8(text, pos, &length)) != 0) break;
  }
  return pos;
}

}  // namespace mimoza
