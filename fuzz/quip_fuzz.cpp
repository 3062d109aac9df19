// fuzz/quip_fuzz.cpp: quip file bytes -> PickQuip's line choice and copy.
// Input: one byte of output limit, then the text of the quip file.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "knowledge/knowledge.h"
#include "knowledge/knowledge_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint32_t outLen = data[0];
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string out(outLen + 2, '\x55');
  mimoza::srand(static_cast<uint32_t>(size));
  const bool picked = mimoza::PickQuipFromText(text.data(), text.size(), out.data(), outLen);
  // Only a text without a line (an empty one) gives no quip, and then out is left as it was.
  if (!picked) {
    if (!text.empty() || out != std::string(outLen + 2, '\x55')) std::abort();
    return 0;
  }
  // At most outLen bytes and a NUL; a whole line ends in its LF, save a line cut at a NUL byte
  // and the text's last line when the text ends without a line end.
  if (out[outLen + 1] != '\x55') std::abort();
  const size_t length = std::strlen(out.c_str());
  if (length > outLen) std::abort();
  if (length > 0 && length < outLen && out[length - 1] != '\n') {
    const std::string line(out.c_str(), length);
    const bool cutAtNul = text.find(line + '\0') != std::string::npos;
    const bool lastLine =
        text.size() >= length && text.compare(text.size() - length, length, line) == 0;
    if (!cutAtNul && !lastLine) std::abort();
  }
  return 0;
}
