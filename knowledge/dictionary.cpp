// knowledge/dictionary.cpp: Dictionary.txt text + subject -> one pooled answer; entries -> file.
// Leaves this file: LookupAnswer, LookupAnswerInText, ExtractTagText, FindBytes, AppendEntry,
// LookupOrSeed. The element scan, the answer walk and the answer table are private.
// Tested by tests/knowledge/dictionary_test.cpp (in memory and on disk);
// fuzzed by fuzz/dictionary_fuzz.cpp; measured by bench/dictionary_bench.cpp.
#include <cstdlib>
#include <cstring>

#include "knowledge/key_match.h"
#include "knowledge/knowledge.h"
#include "knowledge/knowledge_internal.h"
#include "knowledge/text_file.h"
#include "pattern/pattern.h"

namespace mimoza {
namespace {

constexpr char kDictionaryFile[] = "Dictionary.txt";
constexpr char kAnswerOpen[] = "<ANS>";
constexpr char kAnswerClose[] = "</ANS>";
constexpr char kExactKeyOpen[] = "<KEY>";  // only this exact tag ends a key's answers
constexpr size_t kAnswerOpenLength = sizeof kAnswerOpen - 1;
constexpr size_t kAnswerCloseLength = sizeof kAnswerClose - 1;
constexpr size_t kExactKeyOpenLength = sizeof kExactKeyOpen - 1;

// Tag names are short ASCII words ("KEY"); a longer name finds no element.
constexpr size_t kMaxTagNameLength = 16;

// One element in the text: its text runs from text to close, and the scan goes on at after.
struct ElementView {
  const char* text;
  const char* close;
  const char* after;
};

// FindElement: the element named name that opens at or after from and closes before end.
// The opening tag is "<" name and any bytes up to the first ">" after them. The tags are ASCII
// starting with "<", a byte that is never the second byte of a double-byte character, so a byte
// search cannot land inside one.
bool FindElement(const char* from, const char* name, const char* end, ElementView* element) {
  const size_t nameLength = std::strlen(name);
  if (nameLength > kMaxTagNameLength) return false;
  char openTag[kMaxTagNameLength + 1] = {'<'};  // "<" name
  std::memcpy(openTag + 1, name, nameLength);
  char closeTag[kMaxTagNameLength + 3] = {'<', '/'};  // "</" name ">"
  std::memcpy(closeTag + 2, name, nameLength);
  closeTag[nameLength + 2] = '>';

  const char* open = FindBytes(from, openTag, nameLength + 1, end);
  if (open == nullptr) return false;
  const char* gt = FindByte(open + 1 + nameLength, '>', end);
  if (gt == nullptr) return false;
  const char* close = FindBytes(gt + 1, closeTag, nameLength + 3, end);
  if (close == nullptr) return false;
  *element = ElementView{gt + 1, close, close + nameLength + 3};
  return true;
}

// The answers collected by one lookup, as the first byte of each answer's text; the closing tag
// is found again for the one answer drawn. Grows as answers come, so a lookup that collects few
// answers stays small.
struct AnswerTable {
  const char** starts = nullptr;
  int32_t count = 0;
  int32_t capacity = 0;
  bool outOfMemory = false;

  AnswerTable() = default;
  AnswerTable(const AnswerTable&) = delete;
  AnswerTable& operator=(const AnswerTable&) = delete;
  ~AnswerTable() { std::free(starts); }

  bool Full() const { return count >= kMaxAnswers || outOfMemory; }

  // Add: stores an answer; false once the table is full or cannot grow.
  bool Add(const char* start) {
    if (Full()) return false;
    if (count == capacity) {
      const int32_t grown = capacity == 0 ? 64 : capacity * 2;
      auto* more = static_cast<const char**>(
          std::realloc(static_cast<void*>(starts), static_cast<size_t>(grown) * sizeof *starts));
      if (more == nullptr) {
        outOfMemory = true;
        return false;
      }
      starts = more;
      capacity = grown;
    }
    starts[count++] = start;
    return true;
  }
};

// Everything one lookup works with.
struct Lookup {
  const char* end;  // end of the dictionary text
  const char* subject;
  size_t subjectLength;
  MatchMode mode;
  SubjectIndex index;  // the subject prepared for the byte searches of pattern keys
  AnswerTable answers;
  char keyText[kMaxKeyBytes + 1];  // a key handed to the pattern matcher, NUL-terminated
};

// KeyMatches: whether the key text key[0, length) (no NUL inside) matches the lookup's subject.
bool KeyMatches(Lookup& lookup, const char* key, size_t length) {
  if (lookup.mode == ExactKey) {
    return length == lookup.subjectLength && std::memcmp(key, lookup.subject, length) == 0;
  }
  switch (JudgeKey(lookup.index, key, length)) {
    case KeyMatch:
      return true;
    case KeyNoMatch:
      return false;
    case KeySearch:
      break;
  }
  std::memcpy(lookup.keyText, key, length);
  lookup.keyText[length] = '\0';
  Pattern* pattern = CompilePattern(lookup.keyText);
  MatchSpan* spans = nullptr;  // a failed search leaves it unwritten
  const bool found = SearchPattern(pattern, lookup.subject, &spans, 0) > 0;
  FreeSpans(spans);
  FreePattern(pattern);
  return found;
}

enum WalkEnd : int8_t {
  WalkNextKey,  // the key's answers are complete; the key scan goes on
  WalkStop,     // nothing further can be collected
};

// WalkAnswers: collects the answers of a matched key from walk onwards; *scan becomes the place
// where the key scan resumes. Each answer is taken from the next "<ANS>"; only an exact "<KEY>"
// before the following "<ANS>" ends the key's answers, and the next "<ANS>" is looked for from
// the first byte of the current answer's text (so a "<ANS>" inside an answer starts another).
// A key with no answer before the next key thus collects the answers that follow it: files
// edited by hand may rely on that.
WalkEnd WalkAnswers(Lookup& lookup, const char* walk, const char** scan) {
  const char* end = lookup.end;
  for (;;) {
    const char* open = FindBytes(walk, kAnswerOpen, kAnswerOpenLength, end);
    if (open == nullptr) return WalkStop;
    const char* start = open + kAnswerOpenLength;
    const char* close = FindBytes(start, kAnswerClose, kAnswerCloseLength, end);
    if (!lookup.answers.Add(start)) return WalkStop;
    if (close == nullptr) return WalkStop;
    const char* nextOpen = FindBytes(close, kAnswerOpen, kAnswerOpenLength, end);
    if (nextOpen == nullptr) return WalkStop;
    // A "<KEY>" before nextOpen ends before it too ("<KEY>" ends in ">", "<ANS>" starts with
    // "<"), so the search need not look past nextOpen; that keeps long answer lists linear.
    if (FindBytes(close, kExactKeyOpen, kExactKeyOpenLength, nextOpen) != nullptr) {
      *scan = close;
      return WalkNextKey;
    }
    walk = start;
  }
}

// CopyAnswer: draws one collected answer and copies it into out.
void CopyAnswer(const Lookup& lookup, char* out, uint32_t outLen) {
  const int32_t chosen = RandomInt(0, lookup.answers.count - 1);
  const char* start = lookup.answers.starts[chosen];
  const char* close = FindBytes(start, kAnswerClose, kAnswerCloseLength, lookup.end);
  if (close == nullptr) close = lookup.end;  // an unclosed answer runs to the end of the text
  const auto bytes = static_cast<size_t>(close - start);
  std::memset(out, 0, outLen);
  CopyBounded(out, start, bytes < outLen ? static_cast<uint32_t>(bytes) : outLen);
}

// ContainsText: whether the NUL-terminated text contains needle.
bool ContainsText(const char* text, const char* needle) {
  return std::strstr(text, needle) != nullptr;
}

}  // namespace

const char* FindBytes(const char* from, const char* needle, size_t needleLen, const char* end) {
  if (from == nullptr || end == nullptr || needle == nullptr || from > end) return nullptr;
  if (needleLen == 0) return from;
  if (static_cast<size_t>(end - from) < needleLen) return nullptr;
  const char* last = end - needleLen;
  for (const char* at = from; at <= last; ++at) {
    at = static_cast<const char*>(std::memchr(at, needle[0], static_cast<size_t>(last - at) + 1));
    if (at == nullptr) return nullptr;
    if (std::memcmp(at + 1, needle + 1, needleLen - 1) == 0) return at;
  }
  return nullptr;
}

const char* ExtractTagText(const char* from, const char* tagName, const char* end, char* out,
                           uint32_t outLen) {
  if (from == nullptr || tagName == nullptr || end == nullptr || out == nullptr || from > end) {
    return nullptr;
  }
  ElementView element{};
  if (!FindElement(from, tagName, end, &element)) return nullptr;
  const auto bytes = static_cast<size_t>(element.close - element.text);
  CopyBounded(out, element.text, bytes < outLen ? static_cast<uint32_t>(bytes) : outLen);
  return element.after;
}

bool LookupAnswerInText(const char* text, size_t length, const char* subject, MatchMode mode,
                        char* out, uint32_t outLen) {
  if (text == nullptr || subject == nullptr || out == nullptr) return false;
  if (mode != ExactKey && mode != PatternKey) return false;  // no key matches
  Lookup lookup{};
  lookup.end = text + length;
  lookup.subject = subject;
  lookup.subjectLength = std::strlen(subject);
  lookup.mode = mode;
  if (mode == PatternKey) IndexSubject(subject, &lookup.index);

  const char* scan = text;
  while (scan < lookup.end && !lookup.answers.Full()) {
    ElementView key{};
    if (!FindElement(scan, "KEY", lookup.end, &key)) break;
    scan = key.after;
    // The key text: at most kMaxKeyBytes bytes, ending early at a NUL.
    size_t keyLength = static_cast<size_t>(key.close - key.text);
    if (keyLength > kMaxKeyBytes) keyLength = kMaxKeyBytes;
    const void* nul = std::memchr(key.text, '\0', keyLength);
    if (nul != nullptr) keyLength = static_cast<size_t>(static_cast<const char*>(nul) - key.text);
    if (!KeyMatches(lookup, key.text, keyLength)) continue;
    if (scan >= lookup.end) break;
    if (WalkAnswers(lookup, scan, &scan) == WalkStop) break;
  }

  // Memory running out while answers were collected gives no answer rather than a draw from a
  // pool that lacks some of them.
  const bool found = lookup.answers.count > 0 && !lookup.answers.outOfMemory;
  if (found) CopyAnswer(lookup, out, outLen);
  return found;
}

bool LookupAnswer(const char* subject, MatchMode mode, char* out, uint32_t outLen) {
  if (subject == nullptr || out == nullptr) return false;
  if (mode != ExactKey && mode != PatternKey) return false;
  TextBuffer text;
  if (!ReadTextFile(kDictionaryFile, &text)) return false;
  return LookupAnswerInText(text.bytes, text.length, subject, mode, out, outLen);
}

bool AppendEntry(const char* key, const char* answer) {
  if (key == nullptr || answer == nullptr) return false;
  // No escaping exists, so a text holding a tag would shift every element after it, and a byte
  // 0x1A would end the readable text there: every later entry would be lost to every lookup.
  const char kTextEnd[] = {0x1A, '\0'};
  if (ContainsText(key, "</KEY>") || ContainsText(key, "<KEY") || ContainsText(key, "<ANS>") ||
      ContainsText(key, kTextEnd)) {
    return false;
  }
  if (ContainsText(answer, "</ANS>") || ContainsText(answer, "<KEY") ||
      ContainsText(answer, "<ANS>") || ContainsText(answer, kTextEnd)) {
    return false;
  }
  const size_t keyLength = std::strlen(key);
  const size_t answerLength = std::strlen(answer);
  // "<KEY>" key "</KEY>\n" "<ANS>" answer "</ANS>\n": both lines in one write.
  const size_t length = keyLength + answerLength + 24;
  char* entry = static_cast<char*>(std::malloc(length + 1));
  if (entry == nullptr) return false;
  char* at = entry;
  auto put = [&at](const char* bytes, size_t count) {
    std::memcpy(at, bytes, count);
    at += count;
  };
  put("<KEY>", 5);
  put(key, keyLength);
  put("</KEY>\n<ANS>", 12);
  put(answer, answerLength);
  put("</ANS>\n", 7);
  const bool stored = AppendTextFile(kDictionaryFile, entry, static_cast<size_t>(at - entry));
  std::free(entry);
  return stored;
}

void LookupOrSeed(const char* key, const char* defaultAnswer, MatchMode mode, char* out,
                  uint32_t outLen) {
  if (LookupAnswer(key, mode, out, outLen)) return;
  AppendEntry(key, defaultAnswer);
  LookupAnswer(key, mode, out, outLen);
}

}  // namespace mimoza
