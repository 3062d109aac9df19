// knowledge/quips.cpp: quip file text -> one random line.
// Leaves this file: PickQuip, PickQuipFromText.
// Tested by tests/knowledge/random_quips_test.cpp; fuzzed by fuzz/quip_fuzz.cpp.
#include <cstring>

#include "knowledge/knowledge.h"
#include "knowledge/knowledge_internal.h"
#include "knowledge/text_file.h"

namespace mimoza {
namespace {

// CountLines: the number of LF-terminated lines of text[0, end), at most kMaxQuipLines; bytes after
// the last LF form no line.
int32_t CountLines(const char* text, const char* end) {
  int32_t count = 0;
  for (const char* lf = FindByte(text, '\n', end); lf != nullptr && count < kMaxQuipLines;
       lf = FindByte(lf + 1, '\n', end)) {
    ++count;
  }
  return count;
}

// LineStart: the first byte of line index (0-based) of a text that has more lines than index.
const char* LineStart(const char* text, const char* end, int32_t index) {
  const char* at = text;
  for (int32_t i = 0; i < index; ++i) at = FindByte(at, '\n', end) + 1;
  return at;
}

}  // namespace

void PickQuipFromText(const char* text, size_t length, char* out, uint32_t outLen) {
  const char* end = text + length;
  // The lines are counted first and the chosen one found again afterwards, so a pick needs no
  // table of lines besides the text itself.
  const int32_t lines = CountLines(text, end);
  // Every line can be drawn. Without any line the draw still happens, so the generator advances
  // the same way whatever the file holds, and the quip is the empty text.
  const int32_t chosen = RandomInt(0, lines - 1);
  std::memset(out, 0, outLen);
  if (lines == 0) {
    out[0] = '\0';
    return;
  }
  const char* start = LineStart(text, end, chosen);
  const char* lf = FindByte(start, '\n', end);
  const auto lineBytes = static_cast<size_t>(lf - start) + 1;  // the LF included
  CopyBounded(out, start, lineBytes < outLen ? static_cast<uint32_t>(lineBytes) : outLen);
}

bool PickQuip(const char* fileName, char* out, uint32_t outLen) {
  TextBuffer text;
  if (out == nullptr || !ReadTextFile(fileName, &text)) return false;
  PickQuipFromText(text.bytes, text.length, out, outLen);
  return true;
}

}  // namespace mimoza
