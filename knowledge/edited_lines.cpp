// knowledge/edited_lines.cpp: what an edit of Dictionary.txt needs of the format: the lines of
// an edited copy -> the lines of the copy as written that they keep (a line diff); a dictionary
// -> its count of entries; a dictionary of any size -> the checker's diagnostics, in pieces.
// Leaves this file: CountEntries, LineHash, AlignLines, CheckEditedDictionary. Myers, Resync and
// EntryStarts are private.
// Tested by tests/knowledge/edited_lines_test.cpp; the alignment is fuzzed by
// fuzz/store_fuzz.cpp.
#include <algorithm>
#include <cstring>
#include <exception>
#include <string_view>
#include <vector>

#include "knowledge/dictionary_format.h"
#include "knowledge/dictionary_store.h"
#include "knowledge/knowledge_internal.h"

namespace mimoza {
namespace {

// The line diff's effort: a middle (what the shared start and end leave) of at most
// kMaxDiffLines lines gets the shortest edit script when it needs at most kMaxDiffEdits edits;
// that costs at most their product in steps (a few tens of milliseconds) and the square of the
// edits in memory. Anything larger (a rewrite of a large file) is aligned by Resync.
constexpr size_t kMaxDiffLines = 100000;
constexpr size_t kMaxDiffEdits = 1000;
// Resync looks this many written lines ahead for an edited line, so a block of up to this many
// lines deleted in a large file still lets the lines after it keep their bytes; every line
// changed costs that many comparisons of two hashes.
constexpr size_t kResyncLines = 256;

using Lines = std::vector<uint64_t>;

// Myers: the shortest edit script between written[wBegin, wEnd) and edited[eBegin, eEnd), its
// kept lines recorded in *kept; false when it needs more than kMaxDiffEdits edits. Round d
// finds, on each diagonal k (x - y), how far d edits reach; the rounds are kept for the way back.
bool Myers(const Lines& written, size_t wBegin, size_t wEnd, const Lines& edited, size_t eBegin,
           size_t eEnd, std::vector<size_t>* kept) {
  const auto n = static_cast<int64_t>(wEnd - wBegin);
  const auto m = static_cast<int64_t>(eEnd - eBegin);
  const int64_t maxD = std::min<int64_t>(static_cast<int64_t>(kMaxDiffEdits), n + m);
  const int64_t offset = maxD + 1;
  std::vector<int64_t> v(static_cast<size_t>(2 * offset + 1), 0);
  const auto at = [&](int64_t k) -> int64_t& { return v[static_cast<size_t>(offset + k)]; };
  const auto same = [&](int64_t x, int64_t y) {
    return written[wBegin + static_cast<size_t>(x)] == edited[eBegin + static_cast<size_t>(y)];
  };
  std::vector<std::vector<int64_t>> rounds;  // rounds[d][k + d]: how far diagonal k reached
  int64_t found = -1;
  for (int64_t d = 0; d <= maxD && found < 0; ++d) {
    for (int64_t k = -d; k <= d; k += 2) {
      int64_t x = (k == -d || (k != d && at(k - 1) < at(k + 1))) ? at(k + 1) : at(k - 1) + 1;
      int64_t y = x - k;
      while (x < n && y < m && same(x, y)) {
        ++x;
        ++y;
      }
      at(k) = x;
      if (x >= n && y >= m) found = d;
    }
    rounds.emplace_back(v.begin() + (offset - d), v.begin() + (offset + d + 1));
  }
  if (found < 0) return false;
  // The way back: from the end, each round's snake, then the edit before it.
  int64_t x = n;
  int64_t y = m;
  const auto keep = [&](int64_t toX, int64_t toY) {
    while (x > toX && y > toY) {
      --x;
      --y;
      (*kept)[eBegin + static_cast<size_t>(y)] = wBegin + static_cast<size_t>(x);
    }
  };
  for (int64_t d = found; d > 0; --d) {
    const std::vector<int64_t>& before = rounds[static_cast<size_t>(d - 1)];
    const auto reached = [&](int64_t k) { return before[static_cast<size_t>(k + d - 1)]; };
    const int64_t k = x - y;
    const int64_t from = (k == -d || (k != d && reached(k - 1) < reached(k + 1))) ? k + 1 : k - 1;
    const int64_t fromX = reached(from);
    const int64_t snakeX = from == k + 1 ? fromX : fromX + 1;  // after the edit of this round
    keep(snakeX, snakeX - k);
    x = fromX;
    y = fromX - from;
  }
  keep(0, 0);
  return true;
}

// Resync: each edited line kept as the next equal written line not far ahead, when the line
// after it agrees too (or either copy ends there), so that a common line such as an answer
// "はい" does not pull the alignment ahead.
void Resync(const Lines& written, size_t wBegin, size_t wEnd, const Lines& edited, size_t eBegin,
            size_t eEnd, std::vector<size_t>* kept) {
  size_t w = wBegin;
  for (size_t e = eBegin; e < eEnd && w < wEnd; ++e) {
    const size_t limit = std::min(wEnd, w + kResyncLines);
    for (size_t candidate = w; candidate < limit; ++candidate) {
      if (written[candidate] != edited[e]) continue;
      const bool agrees = candidate + 1 == wEnd || e + 1 == eEnd ||
                          written[candidate + 1] == edited[e + 1] || candidate == w;
      if (!agrees) continue;
      (*kept)[e] = candidate;
      w = candidate + 1;
      break;
    }
  }
}

// ---- Entries and pieces ---------------------------------------------------------------------

// EntryStarts: told by the reader, it counts the complete key elements and finds where a
// dictionary can be cut into pieces that the checker reads as it reads the whole: at an exact
// key tag a lookup's scan finds, at the start of its line, with no answer open across it and
// after an entry with an answer of its own (a key without one would pool this entry's answers).
class EntryStarts final : public ElementSink {
 public:
  EntryStarts(std::string_view theStored, size_t every) : stored(theStored), pieceBytes(every) {}

  bool Tag(DictionaryTag tag, uint64_t offset, bool exact) override {
    if (tag == TagAnswerOpen) answerOpen = answered = true;
    if (tag == TagAnswerClose) answerOpen = false;
    if (tag != TagKeyOpen) return true;
    const uint64_t key = keys++;  // the reader numbers keys in this order too
    if (offset < scan || chainKeyOpen) return true;
    chainKeyOpen = true;
    chainKey = key;
    const auto at = static_cast<size_t>(offset);
    if (pieceBytes > 0 && exact && answered && !answerOpen && at - cuts.back() >= pieceBytes &&
        stored[at - 1] == '\n') {
      cuts.push_back(at);
    }
    answered = false;
    return true;
  }
  bool KeyText(uint64_t, uint64_t, const char*, size_t) override { return true; }
  void KeyClosed(uint64_t key, uint64_t close) override {
    ++complete;
    if (chainKeyOpen && key == chainKey) {
      chainKeyOpen = false;
      scan = close + TagText(TagKeyClose).size();
    }
  }

  size_t complete = 0;             // key elements that close
  std::vector<size_t> cuts = {0};  // where pieces begin

 private:
  std::string_view stored;
  size_t pieceBytes;  // 0: no pieces wanted
  uint64_t scan = 0;  // where the chain's next key is looked for
  uint64_t keys = 0;  // key tags told so far
  uint64_t chainKey = 0;
  bool chainKeyOpen = false;  // the chain's last key has not closed yet
  bool answerOpen = false;
  bool answered = false;  // an answer opened since the chain's last key
};

}  // namespace

size_t CountEntries(std::string_view stored) {
  EntryStarts counter(stored, 0);
  DictionaryReader::ReadWhole(stored.data(), stored.size(), counter, false);
  return counter.complete;
}

uint64_t LineHash(std::string_view line) { return HashBytes(line.data(), line.size(), 0x6C696E65); }

std::vector<size_t> AlignLines(const std::vector<uint64_t>& written,
                               const std::vector<uint64_t>& edited) {
  std::vector<size_t> kept(edited.size(), kNoLine);
  size_t start = 0;
  while (start < written.size() && start < edited.size() && written[start] == edited[start]) {
    kept[start] = start;
    ++start;
  }
  size_t wEnd = written.size();
  size_t eEnd = edited.size();
  while (wEnd > start && eEnd > start && written[wEnd - 1] == edited[eEnd - 1]) {
    kept[--eEnd] = --wEnd;
  }
  if (start == wEnd || start == eEnd) return kept;  // only lines added, or only removed
  const bool small = (wEnd - start) + (eEnd - start) <= kMaxDiffLines;
  if (!small || !Myers(written, start, wEnd, edited, start, eEnd, &kept)) {
    std::fill(kept.begin() + static_cast<ptrdiff_t>(start),
              kept.begin() + static_cast<ptrdiff_t>(eEnd), kNoLine);
    Resync(written, start, wEnd, edited, start, eEnd, &kept);
  }
  return kept;
}

bool CheckEditedDictionary(const std::string& stored, const StoredFile& quips,
                           std::vector<CheckDiagnostic>* diagnostics, size_t pieceBytes) {
  StoredFile whole;
  whole.present = true;
  if (stored.size() <= pieceBytes) {
    whole.bytes = stored;
    return CheckDataTexts(whole, quips, CheckOptions{}, diagnostics);
  }
  try {
    EntryStarts starts(stored, pieceBytes);
    if (!DictionaryReader::ReadWhole(stored.data(), stored.size(), starts, false)) return false;
    starts.cuts.push_back(stored.size());
    // A prompt is missing from the file when every piece misses it.
    uint32_t missing = ~0u;
    uint32_t lines = 0;
    for (size_t p = 0; p + 1 < starts.cuts.size(); ++p) {
      StoredFile piece;
      piece.present = true;
      piece.bytes.assign(stored, starts.cuts[p], starts.cuts[p + 1] - starts.cuts[p]);
      std::vector<CheckDiagnostic> found;
      CheckOptions options;
      options.firstLine = lines + 1;
      CheckFigures figures;
      if (!CheckDataTexts(piece, StoredFile{}, options, &found, &figures)) return false;
      for (CheckDiagnostic& diagnostic : found) {
        if (diagnostic.rule != RulePromptMissing) diagnostics->push_back(std::move(diagnostic));
      }
      missing &= figures.missingPrompts;
      lines += static_cast<uint32_t>(std::count(piece.bytes.begin(), piece.bytes.end(), '\n'));
    }
    // The file's own notes come after its places, as the checker orders them.
    std::stable_partition(diagnostics->begin(), diagnostics->end(),
                          [](const CheckDiagnostic& d) { return d.line > 0; });
    if (missing != 0) diagnostics->push_back(MissingPromptsNote(missing));
    if (quips.present) {
      std::vector<CheckDiagnostic> quipDiagnostics;
      if (!CheckDataTexts(StoredFile{"", true, 0}, quips, CheckOptions{}, &quipDiagnostics)) {
        return false;
      }
      for (CheckDiagnostic& diagnostic : quipDiagnostics) {
        if (diagnostic.file == CheckedQuips) diagnostics->push_back(std::move(diagnostic));
      }
    }
    return true;
  } catch (const std::exception&) {  // memory ran out: no exception leaves the core
    return false;
  }
}

}  // namespace mimoza
