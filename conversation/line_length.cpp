// conversation/line_length.cpp: a code page 932 text and a byte limit -> the length of its
// longest beginning that fits without splitting a character.
// Leaves this file: FitLineLength. Kept apart from the engine so that hosts cutting input need
// not link the knowledge files. Tested by tests/conversation/conversation_test.cpp.
#include "conversation/conversation.h"
#include "pattern/pattern.h"

namespace mimoza {

// A lead byte with nothing after it inside [0, length) is left out too: it would dangle.
size_t FitLineLength(const char* text, size_t length, size_t limit) {
  size_t fit = 0;
  while (fit < length) {
    const size_t step = IsLeadByte(static_cast<unsigned char>(text[fit])) ? 2 : 1;
    if (fit + step > limit || fit + step > length) break;
    fit += step;
  }
  return fit;
}

}  // namespace mimoza
