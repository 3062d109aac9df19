// fuzz/history_fuzz.cpp: history file bytes -> SplitHistory -> LineEditor::Remember, checking
// that at most kMaxHistory lines come back, none holds a line break, and every line Up then
// recalls is a valid line.
#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "terminal/common/history.h"
#include "terminal/faces/line_editor.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::setlocale(LC_CTYPE, "C.UTF-8");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> lines = mimoza::SplitHistory(bytes);
  if (lines.size() > mimoza::LineEditor::kMaxHistory) std::abort();
  mimoza::LineEditor editor;
  for (const std::string& line : lines) {
    if (line.find('\n') != std::string::npos) std::abort();
    editor.Remember(line);
  }
  for (size_t i = 0; i <= lines.size(); ++i) {
    editor.Feed(0x10);  // Ctrl+P: one line older
    const std::string& text = editor.Text();
    if (text.size() > mimoza::LineEditor::kMaxTextBytes) std::abort();
    for (size_t pos = 0; pos < text.size();) {
      size_t length = 0;
      bool wellFormed = false;
      const char32_t c = mimoza::DecodeUtf8(text, pos, &length, &wellFormed);
      if (!wellFormed || c < 0x20 || c == 0x7F) std::abort();
      pos += length;
    }
  }
  return 0;
}
