// terminal/faces/line_editor.cpp: key bytes -> an edited UTF-8 input line and the actions it asks
// for.
// Leaves this file: LineEditor.
// Tested by tests/terminal/line_editor_test.cpp; fuzzed by fuzz/line_editor_fuzz.cpp.
#include "terminal/faces/line_editor.h"

namespace mimoza {
namespace {

EditorAction Action(EditorActionKind kind) {
  EditorAction action;
  action.kind = kind;
  return action;
}

}  // namespace

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
    case KeyWhy:
      return Action(ActWhy);
    case KeyMousePress:
    case KeyWheelUp:
    case KeyWheelDown: {
      EditorAction action = Action(key.kind == KeyMousePress ? ActClick
                                   : key.kind == KeyWheelUp  ? ActWheelUp
                                                             : ActWheelDown);
      action.x = key.x;
      action.y = key.y;
      return action;
    }
    case KeyPageUp:
      return Action(ActPageUp);
    case KeyPageDown:
      return Action(ActPageDown);
    case KeySuspend:
      return Action(ActSuspend);
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
  text = ValidLine(utf8);
  cursor = text.size();
}

bool LineEditor::Remember(std::string_view utf8) {
  std::string line = ValidLine(utf8);
  historyIndex = history.size();
  if (line.empty() || (!history.empty() && history.back() == line)) return false;
  if (history.size() == kMaxHistory) history.erase(history.begin());
  history.push_back(std::move(line));
  historyIndex = history.size();
  return true;
}

// ValidLine: what a line may hold: valid UTF-8 without controls, at most kMaxTextBytes.
std::string LineEditor::ValidLine(std::string_view utf8) {
  std::string line;
  for (size_t pos = 0; pos < utf8.size();) {
    size_t length = 0;
    const char32_t c = DecodeUtf8(utf8, pos, &length);
    pos += length;
    if (c < 0x20 || c == 0x7F) continue;  // a line holds no controls
    std::string encoded;
    AppendUtf8(encoded, c);
    if (line.size() + encoded.size() > kMaxTextBytes) break;
    line += encoded;
  }
  return line;
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
  action.remembered = Remember(action.line);
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
