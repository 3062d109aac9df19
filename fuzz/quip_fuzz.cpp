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
  mimoza::PickQuipFromText(text.data(), text.size(), out.data(), outLen);
  // At most outLen bytes and a NUL; a whole line ends in its LF.
  if (out[outLen + 1] != '\x55') std::abort();
  const size_t length = std::strlen(out.c_str());
  if (length > outLen) std::abort();
  if (length > 0 && length < outLen && out[length - 1] != '\n' &&
      text.find(out.c_str() + std::string(1, '\0')) == std::string::npos) {
    std::abort();
  }
  return 0;
}
