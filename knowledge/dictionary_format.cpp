// knowledge/dictionary_format.cpp: Dictionary.txt's bytes -> its tags and elements (the one
// reader); entries -> the file (the one writer); offsets -> lines and columns.
// Leaves this file: DictionaryReader's, DictionaryElements', StoredText's and LineCounter's
// members, KeyTextLength, AnswerTextLength, ExtractTagText, AppendEntry. Nothing else in the
// product looks for a tag of the file.
// Tested by tests/knowledge/dictionary_format_test.cpp, tests/knowledge/dictionary_test.cpp and
// tests/knowledge/dictionary_check_test.cpp; fuzzed by fuzz/dictionary_fuzz.cpp and
// fuzz/dictionary_check_fuzz.cpp.
#include "knowledge/dictionary_format.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

#include "base/cp932.h"
#include "knowledge/knowledge.h"
#include "knowledge/knowledge_internal.h"
#include "knowledge/text_file.h"

namespace mimoza {
namespace {

// A key's opening tag is these bytes and any bytes up to the first ">" after them.
constexpr std::string_view kKeyOpenPrefix = "<KEY";

// A "<" is read as a tag once this many bytes after it are in (or the text ends).
constexpr size_t kLongestTag = kLongestTagBytes;
static_assert(kLongestTag >= kKeyOpenPrefix.size() + 1);

// The stored bytes of a key text that can matter: folding takes at most two stored bytes to one
// text byte, and the text is cut to kMaxKeyBytes.
constexpr size_t kKeyStoredBytes = 2 * kMaxKeyBytes + 1;

bool StartsWith(const char* at, size_t available, std::string_view tag) {
  return available >= tag.size() && std::memcmp(at, tag.data(), tag.size()) == 0;
}

// Tag names are short ASCII words ("KEY"); a longer name finds no element.
constexpr size_t kMaxTagNameLength = 16;

// One element in a text: its opening tag starts at open, its text runs from text to close, and
// a scan goes on at after.
struct ElementView {
  const char* open;
  const char* text;
  const char* close;
  const char* after;
};

// FindElement: the element named name that opens at or after from and closes before end. The
// opening tag is "<" name and any bytes up to the first ">" after them. The tags are ASCII
// starting with "<", a byte that is never the second byte of a double-byte character, so a byte
// search cannot land inside one.
bool FindElement(const char* from, const char* name, const char* end, ElementView* element) {
  const size_t nameLength = std::strlen(name);
  if (nameLength > kMaxTagNameLength) return false;
  char openTag[kMaxTagNameLength + 1] = {'<'};  // "<" name
  std::copy_n(name, nameLength, openTag + 1);
  char closeTag[kMaxTagNameLength + 3] = {'<', '/'};  // "</" name ">"
  std::copy_n(name, nameLength, closeTag + 2);
  closeTag[nameLength + 2] = '>';

  const char* open = FindBytes(from, openTag, nameLength + 1, end);
  if (open == nullptr) return false;
  const char* gt = FindByte(open + 1 + nameLength, '>', end);
  if (gt == nullptr) return false;
  const char* close = FindBytes(gt + 1, closeTag, nameLength + 3, end);
  if (close == nullptr) return false;
  *element = ElementView{open, gt + 1, close, close + nameLength + 3};
  return true;
}

}  // namespace

// ---- The reader -------------------------------------------------------------------------------

DictionaryReader::DictionaryReader(ElementSink& theSink, uint64_t from, bool wantTexts)
    : sink(theSink), texts(wantTexts), windowStart(from), next(from) {}

char* DictionaryReader::Room(size_t count) {
  try {
    window.resize(held + count);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  return window.data() + held;
}

bool DictionaryReader::Feed(size_t count, bool atEnd) {
  held += count;
  uint64_t keep = 0;
  if (!Scan(window.data(), windowStart, held, atEnd, &keep)) return false;
  const auto drop = static_cast<size_t>(keep - windowStart);
  std::memmove(window.data(), window.data() + drop, held - drop);
  held -= drop;
  windowStart = keep;
  return true;
}

bool DictionaryReader::ReadWhole(const char* text, size_t length, ElementSink& sink, bool texts) {
  DictionaryReader reader(sink, 0, texts);
  uint64_t keep = 0;
  return reader.Scan(text, 0, length, true, &keep);
}

// Scan: bytes[0, count) stand at offsets [start, start + count), and hold every byte from the
// last *keep on; *keep gets the first offset still needed.
bool DictionaryReader::Scan(const char* bytes, uint64_t start, size_t count, bool atEnd,
                            uint64_t* keep) {
  const uint64_t frontier = start + count;
  // Keys waiting for their ">" all get the first one in the new bytes.
  bool waiting = false;
  for (const Pending& key : pending) waiting = waiting || key.gt == kNoTag;
  if (waiting) {
    const char* gt = static_cast<const char*>(
        std::memchr(bytes + (gtSearched - start), '>', static_cast<size_t>(frontier - gtSearched)));
    if (gt != nullptr) {
      const uint64_t at = start + static_cast<uint64_t>(gt - bytes);
      for (Pending& key : pending) {
        if (key.gt != kNoTag) continue;
        key.gt = at;
        if (!texts) {
          if (!sink.KeyText(key.key, at + 1, nullptr, 0)) return false;
          key.textDone = true;
        }
      }
    }
    gtSearched = frontier;
  }
  // Every "<" whose tag bytes are all here (or that the end of the text cuts short).
  while (next < frontier) {
    const char* lt = static_cast<const char*>(
        std::memchr(bytes + (next - start), '<', static_cast<size_t>(frontier - next)));
    if (lt == nullptr) {
      next = frontier;
      break;
    }
    const uint64_t at = start + static_cast<uint64_t>(lt - bytes);
    if (!atEnd && frontier - at < kLongestTag) {
      next = at;
      break;
    }
    if (!ReadTag(bytes, start, count, at)) return false;
    next = at + 1;
  }
  // Texts that have all the stored bytes that can matter.
  *keep = next;
  for (Pending& key : pending) {
    if (key.textDone || key.gt == kNoTag) continue;
    const uint64_t end = key.gt + 1 + kKeyStoredBytes;
    if (frontier >= end) {
      if (!TellText(key, bytes, start, end)) return false;
    } else {
      *keep = std::min<uint64_t>(*keep, key.gt + 1);
    }
  }
  // Keys still open at the end never complete.
  if (atEnd) pending.clear();
  return true;
}

// ReadTag: the "<" at offset at, with every byte of its tag in bytes (or the text ending).
bool DictionaryReader::ReadTag(const char* bytes, uint64_t start, size_t count, uint64_t at) {
  const char* p = bytes + (at - start);
  const auto available = static_cast<size_t>(start + count - at);
  if (StartsWith(p, available, kKeyOpenPrefix)) {
    if (!sink.Tag(TagKeyOpen, at, StartsWith(p, available, TagText(TagKeyOpen)))) return false;
    Pending key{keys++, kNoTag, false};
    const char* gt = static_cast<const char*>(
        std::memchr(p + kKeyOpenPrefix.size(), '>', available - kKeyOpenPrefix.size()));
    if (gt != nullptr) {
      key.gt = start + static_cast<uint64_t>(gt - bytes);
      if (!texts) {
        if (!sink.KeyText(key.key, key.gt + 1, nullptr, 0)) return false;
        key.textDone = true;
      }
    } else {
      gtSearched = start + count;
    }
    try {
      pending.push_back(key);
    } catch (const std::bad_alloc&) {
      return false;
    }
  } else if (StartsWith(p, available, TagText(TagKeyClose))) {
    if (!sink.Tag(TagKeyClose, at, false)) return false;
    // It closes every open key whose ">" stands before it.
    size_t kept = 0;
    for (Pending& key : pending) {
      if (key.gt != kNoTag && key.gt + 1 <= at) {
        if (!key.textDone && !TellText(key, bytes, start, at)) return false;
        sink.KeyClosed(key.key, at);
      } else {
        pending[kept++] = key;
      }
    }
    pending.resize(kept);
  } else if (StartsWith(p, available, TagText(TagAnswerOpen))) {
    if (!sink.Tag(TagAnswerOpen, at, false)) return false;
  } else if (StartsWith(p, available, TagText(TagAnswerClose))) {
    if (!sink.Tag(TagAnswerClose, at, false)) return false;
  }
  return true;
}

// TellText: the key text of a pending key is the folded bytes from after its ">" to end
// (exclusive), cut as a lookup cuts it.
bool DictionaryReader::TellText(Pending& key, const char* bytes, uint64_t start, uint64_t end) {
  const uint64_t begin = key.gt + 1;
  const size_t stored =
      end > begin ? static_cast<size_t>(std::min<uint64_t>(end - begin, kKeyStoredBytes)) : 0;
  char text[kKeyStoredBytes];
  std::memcpy(text, bytes + (begin - start), stored);
  const size_t length = KeyTextLength(text, FoldTextLineEnds(text, stored));
  key.textDone = true;
  return sink.KeyText(key.key, begin, text, length);
}

size_t KeyTextLength(const char* text, size_t length) {
  if (length > kMaxKeyBytes) length = kMaxKeyBytes;
  const void* nul = std::memchr(text, '\0', length);
  return nul == nullptr ? length : static_cast<size_t>(static_cast<const char*>(nul) - text);
}

size_t AnswerTextLength(const char* text, size_t length, size_t start) {
  const std::string_view close = TagText(TagAnswerClose);
  const char* from = text + start;
  const char* end = FindBytes(from, close.data(), close.size(), text + length);
  return static_cast<size_t>((end != nullptr ? end : text + length) - from);
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

// ---- The elements of a whole text ---------------------------------------------------------------

bool DictionaryElements::Read(const char* text, size_t length) {
  *this = DictionaryElements();
  t = text;
  n = length;
  if (!DictionaryReader::ReadWhole(text, length, *this, false)) return false;
  // Each answer closes at the first "</ANS>" after its text.
  const std::vector<size_t>& closes = tags[TagAnswerClose];
  size_t c = 0;
  for (AnswerElement& answer : answers) {
    while (c < closes.size() && closes[c] < answer.text) ++c;
    if (c < closes.size()) answer.close = closes[c];
  }
  return true;
}

bool DictionaryElements::Tag(DictionaryTag tag, uint64_t offset, bool exact) {
  const auto at = static_cast<size_t>(offset);
  try {
    tags[tag].push_back(at);
    if (tag == TagKeyOpen) keys.push_back(KeyElement{at, kNoOffset, kNoOffset, exact});
    if (tag == TagAnswerOpen) {
      answers.push_back(AnswerElement{at, at + TagText(TagAnswerOpen).size(), kNoOffset});
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool DictionaryElements::KeyText(uint64_t key, uint64_t textStart, const char*, size_t) {
  keys[static_cast<size_t>(key)].text = static_cast<size_t>(textStart);
  return true;
}

void DictionaryElements::KeyClosed(uint64_t key, uint64_t close) {
  keys[static_cast<size_t>(key)].close = static_cast<size_t>(close);
}

std::string_view DictionaryElements::KeyText(const KeyElement& key) const {
  const size_t length = key.close - key.text;
  return std::string_view(t + key.text, KeyTextLength(t + key.text, length));
}

std::string_view DictionaryElements::AnswerText(const AnswerElement& answer) const {
  const size_t end = answer.close == kNoOffset ? n : answer.close;
  return std::string_view(t + answer.text, end - answer.text);
}

size_t DictionaryElements::ElementEnd(const KeyElement& key) const {
  return key.close == kNoOffset ? n : key.close + TagText(TagKeyClose).size();
}

size_t DictionaryElements::ElementEnd(const AnswerElement& answer) const {
  return answer.close == kNoOffset ? n : answer.close + TagText(TagAnswerClose).size();
}

// ExactKeyBetween: the text is here, so its bytes answer (the gap between two answers is
// short, while the key table is as long as the file).
bool DictionaryElements::ExactKeyBetween(uint64_t from, uint64_t to) const {
  const std::string_view exact = TagText(TagKeyOpen);
  return FindBytes(t + static_cast<size_t>(from), exact.data(), exact.size(),
                   t + static_cast<size_t>(to)) != nullptr;
}

bool DictionaryElements::Walk() {
  try {
    WalkChain();
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

// WalkChain: the chain of keys a lookup finds when none matches, what its answer walk does after
// each answer, and the answers each key of the chain collects when it matches.
void DictionaryElements::WalkChain() {
  for (size_t scan = 0, k = 0;;) {
    k = FirstKeyFrom(*this, k, scan);
    if (k == keys.size()) break;
    if (keys[k].close == kNoOffset) {
      neverRead = keys[k].open;
      break;
    }
    chain.push_back(k);
    scan = ElementEnd(keys[k]);
  }
  const size_t count = answers.size();
  steps.resize(count);
  std::vector<size_t> stopAt(count + 1, count);  // the first answer at or after i a walk ends at
  for (size_t i = count; i-- > 0;) {
    steps[i] = StepAfterClose(*this, answers[i].close == kNoOffset ? kNoTag : answers[i].close);
    stopAt[i] = steps[i] != StepNextAnswer ? i : stopAt[i + 1];
  }
  std::vector<int32_t> walked(count + 1, 0);  // +1 where a walk begins, -1 after it ends
  walks.resize(chain.size());
  for (size_t w = 0; w < chain.size(); ++w) {
    EntryWalk& walk = walks[w];
    walk.key = chain[w];
    walk.begin = walk.end = walk.ownEnd = count;
    const size_t after = ElementEnd(keys[chain[w]]);
    if (after >= n) continue;
    walk.begin = FirstAtOrAfter(TagAnswerOpen, after);
    if (walk.begin == count) continue;
    walk.end = stopAt[walk.begin] + 1;
    const size_t nextKey = w + 1 < chain.size() ? keys[chain[w + 1]].open : n;
    walk.ownEnd = std::min(
        walk.end, static_cast<size_t>(std::lower_bound(answers.begin(), answers.end(), nextKey,
                                                       [](const AnswerElement& answer, size_t at) {
                                                         return answer.open < at;
                                                       }) -
                                      answers.begin()));
    ++walked[walk.begin];
    --walked[walk.end];
  }
  collected.assign(count, false);
  int32_t depth = 0;
  for (size_t i = 0; i < count; ++i) {
    depth += walked[i];
    collected[i] = depth > 0;
  }
}

size_t DictionaryElements::OwnerOf(size_t answer) const {
  const size_t open = answers[answer].open;
  // The last key of the chain whose element ends at or before the answer's "<ANS>".
  const auto after = std::upper_bound(
      walks.begin(), walks.end(), open,
      [this](size_t at, const EntryWalk& walk) { return at < ElementEnd(keys[walk.key]); });
  return after == walks.begin() ? kNoOffset : static_cast<size_t>(after - walks.begin()) - 1;
}

std::vector<size_t> DictionaryElements::PoolingWalks(size_t answer) const {
  std::vector<size_t> pooling;
  for (size_t w = 0; w < walks.size() && walks[w].begin <= answer; ++w) {
    if (answer < walks[w].end) pooling.push_back(w);
  }
  return pooling;
}

// ---- Places in the file -----------------------------------------------------------------------

StoredText::StoredText(const std::string& stored, uint32_t firstLine)
    : raw(stored), first(firstLine), folded(stored) {
  folded.resize(FoldTextLineEnds(folded.data(), folded.size()));
  // Folding only drops bytes (0x1A, and a CR before an LF), so each folded byte is the next
  // stored byte equal to it: a dropped byte never equals the folded byte it stands before.
  size_t j = 0;
  for (size_t i = 0; i < folded.size(); ++i, ++j) {
    for (; j < raw.size() && raw[j] != folded[i]; ++j) dropped.push_back(i);
  }
  for (; j < raw.size(); ++j) dropped.push_back(folded.size());
  for (size_t at = raw.find('\n'); at != std::string::npos; at = raw.find('\n', at + 1)) {
    lineFeeds.push_back(at);
  }
}

size_t StoredText::Stored(size_t at) const {
  return at + static_cast<size_t>(std::upper_bound(dropped.begin(), dropped.end(), at) -
                                  dropped.begin());
}

uint32_t StoredText::LineOf(size_t stored) const {
  return first +
         static_cast<uint32_t>(std::lower_bound(lineFeeds.begin(), lineFeeds.end(), stored) -
                               lineFeeds.begin());
}

TextPlace StoredText::Place(size_t stored) const {
  const size_t at = std::min(stored, raw.size());
  const uint32_t line = LineOf(at);
  if (line != last.line || at < lastAt) {
    last = TextPlace{line, 1};
    lastAt = LineStart(line);
  }
  for (; lastAt < at; ++last.column) lastAt += StepCharacter(raw.data(), lastAt, raw.size());
  return last;
}

StoredExtent StoredText::ExtentWithLine(size_t begin, size_t end) const {
  const size_t storedBegin = Stored(begin);
  const size_t storedEnd = end > begin ? Stored(end - 1) + 1 : storedBegin;
  const size_t lineStart = LineStart(LineOf(storedBegin));
  const size_t lineFeed = raw.find('\n', storedEnd);
  const size_t lineEnd = lineFeed == std::string::npos ? raw.size() : lineFeed;
  const bool alone = lineStart == storedBegin &&
                     (lineEnd == storedEnd || (lineEnd == storedEnd + 1 && raw[storedEnd] == '\r'));
  if (!alone) return StoredExtent{storedBegin, storedEnd};
  return StoredExtent{lineStart, lineFeed == std::string::npos ? raw.size() : lineFeed + 1};
}

LineCounter::~LineCounter() { delete[] block; }

uint64_t LineCounter::LineAt(uint64_t offset) {
  constexpr uint64_t kBlockBytes = uint64_t{64} << 10;
  if (offset < at) {  // never asked for by the lookups, which move forward
    at = 0;
    line = 1;
  }
  if (file == nullptr) {
    line += CountByte(text + at, text + offset, '\n');
    at = offset;
    return line;
  }
  if (block == nullptr) block = new (std::nothrow) char[kBlockBytes];
  while (at < offset && block != nullptr) {
    const int64_t got =
        file->ReadAt(at, block, static_cast<size_t>(std::min(offset - at, kBlockBytes)));
    if (got <= 0) break;
    line += CountByte(block, block + got, '\n');
    at += static_cast<uint64_t>(got);
  }
  return at == offset ? line : 0;
}

// ---- The writer ---------------------------------------------------------------------------------

bool AppendEntry(const char* key, const char* answer, int* error) {
  int ignored = 0;
  if (error == nullptr) error = &ignored;
  *error = 0;
  if (key == nullptr || answer == nullptr) return false;
  // No escaping exists, so a text holding a tag would shift every element after it, and a byte
  // 0x1A would end the readable text there: every later entry would be lost to every lookup.
  // (The tag texts are string literals, so their data ends in a NUL.)
  const char kTextEnd[] = {0x1A, '\0'};
  const char* const keyOpen = kKeyOpenPrefix.data();
  const char* const answerOpen = TagText(TagAnswerOpen).data();
  for (const char* tag : {TagText(TagKeyClose).data(), keyOpen, answerOpen, kTextEnd}) {
    if (std::strstr(key, tag) != nullptr) return false;
  }
  for (const char* tag : {TagText(TagAnswerClose).data(), keyOpen, answerOpen, kTextEnd}) {
    if (std::strstr(answer, tag) != nullptr) return false;
  }
  const size_t keyLength = std::strlen(key);
  const size_t answerLength = std::strlen(answer);
  // "<KEY>" key "</KEY>\n" "<ANS>" answer "</ANS>\n": both lines in one write.
  const std::string_view pieces[] = {
      TagText(TagKeyOpen),     std::string_view(key, keyLength),
      TagText(TagKeyClose),    "\n",
      TagText(TagAnswerOpen),  std::string_view(answer, answerLength),
      TagText(TagAnswerClose), "\n"};
  size_t length = 0;
  for (const std::string_view piece : pieces) length += piece.size();
  std::unique_ptr<char[]> entry(new (std::nothrow) char[length]);
  if (entry == nullptr) {
    *error = ENOMEM;
    return false;
  }
  char* at = entry.get();
  for (const std::string_view piece : pieces) {
    std::memcpy(at, piece.data(), piece.size());
    at += piece.size();
  }
  if (AppendTextFile(kDictionaryFile, entry.get(), length)) return true;
  *error = errno != 0 ? errno : EIO;
  return false;
}

}  // namespace mimoza
