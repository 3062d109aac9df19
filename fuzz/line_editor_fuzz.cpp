// fuzz/line_editor_fuzz.cpp: terminal key byte streams -> LineEditor::Feed, checking after every
// byte that the line stays valid UTF-8 within its bound and the cursor on a character start.
// The first byte, when not zero, makes the input pause (Flush) after every that many bytes.
#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "terminal/faces/line_editor.h"

namespace {

void CheckLine(const mimoza::LineEditor& editor) {
  const std::string& text = editor.Text();
  if (text.size() > mimoza::LineEditor::kMaxTextBytes) std::abort();
  if (editor.Cursor() > text.size()) std::abort();
  for (size_t pos = 0; pos < text.size();) {
    size_t length = 0;
    const char32_t c = mimoza::DecodeUtf8(text, pos, &length);
    if (c == 0xFFFD && length == 1) std::abort();  // malformed bytes got into the line
    if (c < 0x20 || c == 0x7F) std::abort();       // so did a control
    if (pos < editor.Cursor() && editor.Cursor() < pos + length) std::abort();
    pos += length;
  }
  if (editor.CursorColumn() < 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::setlocale(LC_CTYPE, "C.UTF-8");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t pauseEvery = data[0];
  mimoza::LineEditor editor;
  for (size_t i = 1; i < size; ++i) {
    const mimoza::EditorAction action = editor.Feed(data[i]);
    if (action.kind == mimoza::ActSubmit &&
        action.line.size() > mimoza::LineEditor::kMaxTextBytes) {
      std::abort();
    }
    if (pauseEvery != 0 && i % pauseEvery == 0) editor.Flush();
    CheckLine(editor);
  }
  editor.SetText(std::string_view(reinterpret_cast<const char*>(data), size));
  CheckLine(editor);
  return 0;
}
