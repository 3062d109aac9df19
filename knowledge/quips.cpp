// knowledge/quips.cpp: quip file text -> one random line.
// Leaves this file: PickQuip, PickQuipFromText, CountQuips.
// Tested by tests/knowledge/random_quips_test.cpp; fuzzed by fuzz/quip_fuzz.cpp.
#include <cstring>

#include "knowledge/knowledge.h"
#include "knowledge/knowledge_internal.h"
#include "knowledge/text_file.h"

namespace mimoza {
namespace {

// CountLines: the number of lines of text[0, end), at most kMaxQuipLines: every LF ends one, and
// bytes after the last LF are a last line of their own (many editors save without a final line
// end).
int32_t CountLines(const char* text, const char* end) {
  int32_t count = 0;
  const char* at = text;
  for (const char* lf = FindByte(at, '\n', end); lf != nullptr && count < kMaxQuipLines;
       lf = FindByte(at, '\n', end)) {
    ++count;
    at = lf + 1;
  }
  if (at < end && count < kMaxQuipLines) ++count;
  return count;
}

// LineStart: the first byte of line index (0-based) of a text that has more lines than index.
const char* LineStart(const char* text, const char* end, int32_t index) {
  const char* at = text;
  for (int32_t i = 0; i < index; ++i) at = FindByte(at, '\n', end) + 1;
  return at;
}

}  // namespace

bool PickQuipFromText(const char* text, size_t length, char* out, uint32_t outLen, QuipPick* pick) {
  const char* end = text + length;
  // The lines are counted first and the chosen one found again afterwards, so a pick needs no
  // table of lines besides the text itself. A text without a line yields no quip and draws
  // nothing, as a missing file does.
  const int32_t lines = CountLines(text, end);
  if (lines == 0) return false;
  const int32_t chosen = RandomInt(0, lines - 1);
  if (pick != nullptr) *pick = QuipPick{chosen + 1, lines};
  std::memset(out, 0, outLen);
  const char* start = LineStart(text, end, chosen);
  const char* lf = FindByte(start, '\n', end);
  // The line with its LF; the last line may have none.
  const auto lineBytes = static_cast<size_t>((lf != nullptr ? lf + 1 : end) - start);
  CopyBounded(out, start, lineBytes < outLen ? static_cast<uint32_t>(lineBytes) : outLen);
  return true;
}

bool PickQuip(const char* fileName, char* out, uint32_t outLen, QuipPick* pick) {
  TextBuffer text;
  if (out == nullptr || !ReadTextFile(fileName, &text)) return false;
  return PickQuipFromText(text.bytes, text.length, out, outLen, pick);
}

int32_t CountQuips(const char* fileName) {
  TextBuffer text;
  if (!ReadTextFile(fileName, &text)) return 0;
  return CountLines(text.bytes, text.bytes + text.length);
}

}  // namespace mimoza
