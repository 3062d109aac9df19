// conversation/line_length.cpp: a code page 932 text and a byte limit -> the length of its
// longest beginning that fits without splitting a character.
// Leaves this file: FitLineLength. Kept apart from the engine so that hosts cutting input need
// not link the knowledge files. Tested by tests/conversation/conversation_test.cpp.
#include "base/cp932.h"
#include "conversation/conversation.h"

namespace mimoza {

size_t FitLineLength(const char* text, size_t length, size_t limit) {
  size_t fit = 0;
  while (fit < length) {
    const size_t step = StepCharacter(text, fit, length);
    if (fit + step > limit) break;
    // A lead byte with nothing after it inside [0, length) is left out too: it would dangle.
    if (step == 1 && IsLeadByte(static_cast<unsigned char>(text[fit]))) break;
    fit += step;
  }
  return fit;
}

}  // namespace mimoza
