// terminal/faces/line_editor.cpp: key bytes -> an edited UTF-8 input line and the actions it asks
// for.
// Leaves this file: LineEditor. The word classes (ClassOf, ClassifyLine) are private.
// Tested by tests/terminal/line_editor_test.cpp; fuzzed by fuzz/line_editor_fuzz.cpp.
#include "terminal/faces/line_editor.h"

#include <algorithm>
#include <cwctype>

namespace mimoza {
namespace {

EditorAction Action(EditorActionKind kind) {
  EditorAction action;
  action.kind = kind;
  return action;
}

// A word is a run of characters of one class; a change of class, a space or punctuation ends
// it, so Japanese, written without spaces, still falls into words: 今日|はいい|天気|ですね.
enum WordClass : int8_t {
  WordNone = 0,  // spaces, punctuation, symbols: between words
  WordKanji,     // kanji, with 々 and 〇
  WordHiragana,
  WordKatakana,  // full and half width
  WordAlnum,     // letters (Latin and other alphabets) and digits
  WordJoins,     // ー and the spacing voiced marks: the kana run before them goes on
};

WordClass ClassOf(char32_t c) {
  if (c == 0x30FC || c == 0xFF70 || c == 0x309B || c == 0x309C || c == 0xFF9E || c == 0xFF9F) {
    return WordJoins;
  }
  if ((c >= 0x3041 && c <= 0x3096) || (c >= 0x309D && c <= 0x309F)) return WordHiragana;
  if ((c >= 0x30A1 && c <= 0x30FA) || (c >= 0x30FD && c <= 0x30FF) ||
      (c >= 0x31F0 && c <= 0x31FF) || (c >= 0xFF66 && c <= 0xFF9D)) {
    return WordKatakana;  // 0x30FB, the middle dot, is punctuation
  }
  if ((c >= 0x3005 && c <= 0x3007) || (c >= 0x3400 && c <= 0x4DBF) ||
      (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) ||
      (c >= 0x20000 && c <= 0x3FFFF)) {
    return WordKanji;
  }
  return std::iswalnum(static_cast<wint_t>(c)) != 0 ? WordAlnum : WordNone;
}

// NextCluster: the start of the cluster after the one at pos: a character with the zero-width
// marks that follow it.
size_t NextCluster(std::string_view text, size_t pos) {
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

struct ClusterClass {
  size_t start;    // byte offset of the cluster
  WordClass word;  // never WordJoins: a mark takes the class of its run
};

// ClassifyLine: the class of every cluster, in order. A lengthening mark continues the hiragana
// or katakana before it (すごーい, コーヒー); anywhere else it counts as katakana.
std::vector<ClusterClass> ClassifyLine(std::string_view text) {
  std::vector<ClusterClass> clusters;
  WordClass previous = WordNone;
  for (size_t pos = 0; pos < text.size(); pos = NextCluster(text, pos)) {
    size_t length = 0;
    WordClass word = ClassOf(DecodeUtf8(text, pos, &length));
    if (word == WordJoins) word = previous == WordHiragana ? WordHiragana : WordKatakana;
    clusters.push_back({pos, word});
    previous = word;
  }
  return clusters;
}

// A search longer than any line can match nothing, so it stops growing there.
constexpr size_t kMaxSearchBytes = LineEditor::kMaxTextBytes;

}  // namespace

EditorAction LineEditor::Feed(unsigned char byte) { return Apply(decoder.Feed(byte)); }

Key LineEditor::FlushKey() {
  pasting = false;
  return decoder.Flush();
}

EditorAction LineEditor::Apply(const Key& key) {
  if (key.kind == KeyNone) return Action(ActNone);
  EditorAction searched;
  if (searching && SearchKey(key, &searched)) return searched;
  const bool wasKilling = killing;
  killing = false;
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
    case KeyWordLeft:
      cursor = WordStart(cursor);
      return Action(ActEdited);
    case KeyWordRight:
      cursor = WordEnd(cursor);
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
      return Kill(cursor, text.size(), wasKilling);
    case KeyKillToStart:
      return Kill(0, cursor, wasKilling);
    case KeyKillWordBack:
      // Ctrl+W too goes back by word classes, not to whitespace as readline's does: a Japanese
      // line seldom has a space, and rubbing out to one would take the whole sentence.
      return Kill(WordStart(cursor), cursor, wasKilling);
    case KeyKillWord:
      return Kill(cursor, WordEnd(cursor), wasKilling);
    case KeyYank:
      return Yank();
    case KeyTranspose:
      return Transpose();
    case KeySearch:
      searching = true;
      searchText.clear();
      searchFailed = false;
      searchFrom = historyIndex;
      matchIndex = searchFrom;
      savedText = text;
      savedCursor = cursor;
      return Action(ActEdited);
    case KeyInterrupt:
      return Action(ActQuit);
    case KeyRedraw:
      return Action(ActRedraw);
    case KeyShowLast:
      return Action(ActShowLast);
    case KeyWhy:
      return Action(ActWhy);
    case KeyForget:
      return Action(ActForget);
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
    case KeyCancel:
    case KeyOther:
      return Action(ActNone);
  }
  return Action(ActNone);
}

void LineEditor::SetText(std::string_view utf8) {
  searching = false;
  text = ValidLine(utf8);
  cursor = text.size();
}

bool LineEditor::CancelSearch() {
  if (!searching) return false;
  searching = false;
  if (!searchText.empty()) lastSearch = searchText;
  text = savedText;
  cursor = savedCursor;
  return true;
}

// SearchKey: a key while a search runs, as readline's incremental search takes it: typing and
// Backspace change what is searched for, Ctrl+R looks further back, Esc and Ctrl+G give the line
// back. Keys that edit or send the line first take the line found and then act on it (false:
// the caller goes on with the key); keys about the view leave the search running (false too).
bool LineEditor::SearchKey(const Key& key, EditorAction* action) {
  // The lines searched when narrowing: from the one shown on, or all when none is.
  const size_t below = matchIndex < searchFrom ? matchIndex + 1 : searchFrom;
  switch (key.kind) {
    case KeyEnter:
      if (!pasting) break;
      [[fallthrough]];  // a pasted line break is a space, as in the line
    case KeyChar: {
      std::string more = searchText;
      AppendUtf8(more, key.kind == KeyChar ? key.codePoint : U' ');
      if (more.size() > kMaxSearchBytes) {
        *action = Action(ActNone);
        return true;
      }
      searchText = std::move(more);
      *action = Search(below, false);
      return true;
    }
    case KeyBackspace:
      *action = Action(ActNone);
      if (searchText.empty()) return true;
      // One character off the end; the search starts again from the newest line.
      while (searchText.size() > 1 &&
             (static_cast<unsigned char>(searchText.back()) & 0xC0) == 0x80) {
        searchText.pop_back();
      }
      searchText.pop_back();
      text = savedText;
      cursor = savedCursor;
      matchIndex = searchFrom;
      searchFailed = false;
      *action = searchText.empty() ? Action(ActEdited) : Search(searchFrom, false);
      return true;
    case KeySearch:
      *action = Action(ActNone);
      if (searchText.empty()) {
        if (lastSearch.empty()) return true;
        searchText = lastSearch;
        *action = Search(below, false);
      } else if (!searchFailed) {
        *action = Search(matchIndex, true);
      }
      return true;
    case KeyEscape:
    case KeyCancel:
      CancelSearch();
      *action = Action(ActEdited);
      return true;
    case KeyDelete:
    case KeyLeft:
    case KeyRight:
    case KeyWordLeft:
    case KeyWordRight:
    case KeyUp:
    case KeyDown:
    case KeyHome:
    case KeyEnd:
    case KeyKillToEnd:
    case KeyKillToStart:
    case KeyKillWordBack:
    case KeyKillWord:
    case KeyYank:
    case KeyTranspose:
    case KeyCtrlD:
      break;
    default:
      return false;
  }
  AcceptSearch();
  return false;
}

// Search: the newest line below history index `below` that holds searchText (skipping one equal
// to the line shown, when asked), shown with the cursor at the match's start. When none does,
// the search is marked failed and the line shown stays.
EditorAction LineEditor::Search(size_t below, bool skipShown) {
  for (size_t i = std::min(below, history.size()); i-- > 0;) {
    const size_t at = history[i].rfind(searchText);
    if (at == std::string::npos || (skipShown && history[i] == text)) continue;
    matchIndex = i;
    text = history[i];
    cursor = at;
    searchFailed = false;
    return Action(ActEdited);
  }
  searchFailed = true;
  return Action(ActEdited);
}

// AcceptSearch: ends the search keeping the line found; Up and Down go on from it, and the line
// that was being typed stays where Down reaches it.
void LineEditor::AcceptSearch() {
  searching = false;
  if (!searchText.empty()) lastSearch = searchText;
  if (matchIndex < searchFrom) {
    if (historyIndex == history.size()) draft = savedText;
    historyIndex = matchIndex;
  }
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

// Kill: removes the text from `from` to `to` (the cursor is one end), keeping it for Ctrl+Y. Kills
// in a row make one text, in the order it stood in the line, so Ctrl+Y gives back all of them.
EditorAction LineEditor::Kill(size_t from, size_t to, bool wasKilling) {
  killing = true;
  if (from >= to) return Action(ActNone);
  const std::string removed = text.substr(from, to - from);
  if (!wasKilling) killed.clear();
  killed = from < cursor ? removed + killed : killed + removed;
  text.erase(from, to - from);
  cursor = from;
  return Action(ActEdited);
}

// Yank: inserts the text killed last at the cursor, as much of it as the line still holds.
EditorAction LineEditor::Yank() {
  size_t fits = 0;
  for (size_t pos = 0, length = 0; pos < killed.size(); pos += length) {
    DecodeUtf8(killed, pos, &length);
    if (text.size() + pos + length > kMaxTextBytes) break;
    fits = pos + length;
  }
  if (fits == 0) return Action(ActNone);
  text.insert(cursor, killed, 0, fits);
  cursor += fits;
  return Action(ActEdited);
}

// Transpose: as readline does it: the character before the cursor moves forward over the one
// under it, and the cursor with it; at the end of the line the last two characters swap.
EditorAction LineEditor::Transpose() {
  if (cursor == 0) return Action(ActNone);
  const size_t middle = cursor == text.size() ? PrevBoundary(cursor) : cursor;
  if (middle == 0) return Action(ActNone);
  const size_t start = PrevBoundary(middle);
  const size_t end = NextBoundary(middle);
  text = text.substr(0, start) + text.substr(middle, end - middle) +
         text.substr(start, middle - start) + text.substr(end);
  cursor = end;
  return Action(ActEdited);
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
size_t LineEditor::NextBoundary(size_t pos) const { return NextCluster(text, pos); }

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

// WordStart: where Alt+B goes from pos: back over what lies between words, then to the start of
// the word before.
size_t LineEditor::WordStart(size_t pos) const {
  const std::vector<ClusterClass> clusters = ClassifyLine(text);
  size_t i = 0;
  while (i < clusters.size() && clusters[i].start < pos) ++i;
  while (i > 0 && clusters[i - 1].word == WordNone) --i;
  if (i > 0) {
    const WordClass word = clusters[i - 1].word;
    while (i > 0 && clusters[i - 1].word == word) --i;
  }
  return i < clusters.size() ? clusters[i].start : text.size();
}

// WordEnd: where Alt+F goes from pos: over what lies between words, then to the end of the next.
size_t LineEditor::WordEnd(size_t pos) const {
  const std::vector<ClusterClass> clusters = ClassifyLine(text);
  size_t i = 0;
  while (i < clusters.size() && clusters[i].start < pos) ++i;
  while (i < clusters.size() && clusters[i].word == WordNone) ++i;
  if (i < clusters.size()) {
    const WordClass word = clusters[i].word;
    while (i < clusters.size() && clusters[i].word == word) ++i;
  }
  return i < clusters.size() ? clusters[i].start : text.size();
}

}  // namespace mimoza
