// fuzz/history_fuzz.cpp: the readers of the state directory's files. History file bytes ->
// SplitHistory -> LineEditor::Remember, checking that at most kMaxHistory lines come back, none
// holds a line break, and every line Up then recalls is a valid line; the same bytes as a
// transcript file -> ParseTranscript, checking that at most kMaxStoredTurns turns come back,
// each led by its user line, every text valid UTF-8.
#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "terminal/common/history.h"
#include "terminal/common/transcript_store.h"
#include "terminal/common/utf8.h"
#include "terminal/faces/line_editor.h"

namespace {

bool ValidUtf8(const std::string& text) {
  for (size_t pos = 0; pos < text.size();) {
    size_t length = 0;
    bool wellFormed = false;
    mimoza::DecodeUtf8(text, pos, &length, &wellFormed);
    if (!wellFormed) return false;
    pos += length;
  }
  return true;
}

void CheckTranscript(std::string_view bytes) {
  const std::vector<mimoza::StoredEntry> entries = mimoza::ParseTranscript(bytes);
  size_t turns = 0;
  for (const mimoza::StoredEntry& entry : entries) {
    if (entry.kind == mimoza::StoredLine) ++turns;
    if (turns == 0 || entry.time < 0 || !ValidUtf8(entry.text)) std::abort();
  }
  if (turns > mimoza::kMaxStoredTurns) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::setlocale(LC_CTYPE, "C.UTF-8");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CheckTranscript(bytes);
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
    if (text.size() > mimoza::LineEditor::kMaxTextBytes || !ValidUtf8(text)) std::abort();
    for (size_t pos = 0; pos < text.size();) {
      size_t length = 0;
      const char32_t c = mimoza::DecodeUtf8(text, pos, &length);
      if (c < 0x20 || c == 0x7F) std::abort();
      pos += length;
    }
  }
  return 0;
}
