// fuzz/quip_fuzz.cpp: quip file bytes -> PickQuip's line choice, the line it says it drew, and
// the copy.
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
  mimoza::QuipPick pick;
  const bool picked = mimoza::PickQuipFromText(text.data(), text.size(), out.data(), outLen, &pick);
  if (picked != !text.empty()) std::abort();
  if (!picked) {
    if (out != std::string(outLen + 2, '\x55')) std::abort();  // no quip leaves out as it was
    return 0;
  }
  if (pick.line < 1 || pick.line > pick.lines) std::abort();
  // At most outLen bytes and a NUL; a whole line ends in its LF, unless it is the last line of a
  // text without a final LF, or a NUL cut it short.
  if (out[outLen + 1] != '\x55') std::abort();
  const std::string line = out.c_str();
  if (line.size() > outLen) std::abort();
  const bool last =
      text.size() >= line.size() && text.compare(text.size() - line.size(), line.size(), line) == 0;
  if (!line.empty() && line.size() < outLen && line.back() != '\n' && !last &&
      text.find(line + std::string(1, '\0')) == std::string::npos) {
    std::abort();
  }
  return 0;
}
