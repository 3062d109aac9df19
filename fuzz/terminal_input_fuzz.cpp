// fuzz/terminal_input_fuzz.cpp: bytes typed on a terminal of a legacy charset ->
// TerminalCharset::ToUtf8 -> LineEditor::Feed, checking that the line stays valid UTF-8, and that
// the line sent back through FromUtf8 and read again takes the cells it took: the face's layout
// relies on that. The first byte picks the charset and how the input is split into reads.
#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "terminal/faces/charset.h"
#include "terminal/faces/line_editor.h"

namespace {

constexpr const char* kCharsets[] = {"EUC-JP", "ISO-8859-1", "ANSI_X3.4-1968", "GB18030"};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::setlocale(LC_CTYPE, "C.UTF-8");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const char* charsetName = kCharsets[data[0] % 4];
  const size_t readSize = 1 + data[0] / 4;
  mimoza::TerminalCharset terminal;
  terminal.Open(charsetName);
  mimoza::LineEditor editor;
  for (size_t at = 1; at < size; at += readSize) {
    const size_t length = at + readSize <= size ? readSize : size - at;
    const std::string utf8 =
        terminal.ToUtf8(std::string_view(reinterpret_cast<const char*>(data) + at, length));
    for (const char c : utf8) editor.Feed(static_cast<unsigned char>(c));
  }
  const std::string& text = editor.Text();
  for (size_t pos = 0; pos < text.size();) {
    size_t length = 0;
    bool wellFormed = false;
    mimoza::DecodeUtf8(text, pos, &length, &wellFormed);
    if (!wellFormed) std::abort();
    pos += length;
  }
  mimoza::TerminalCharset echo;
  echo.Open(charsetName);
  const std::string shown = echo.FromUtf8(text);
  if (mimoza::DisplayWidth(echo.ToUtf8(shown)) != mimoza::DisplayWidth(text)) std::abort();
  return 0;
}
