// fuzz/dictionary_check_fuzz.cpp: Dictionary.txt and Boke.dat bytes -> the checker's diagnostics,
// which must name real places in order, keep each rule's cap and, composed in either language,
// say something and quote the files harmlessly; and its figures, within the turn's budget and
// with one note for the missing prompts.
// Input: one byte of flags (bit 0: Boke.dat is there), two bytes of the quip file's length (low
// byte first), the quip file's bytes, then the dictionary's. Keys are searched in hard lines of
// 300 bytes rather than a whole line's, so that each input stays well inside the time limit.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "conversation/messages.h"
#include "knowledge/dictionary_check.h"

namespace {

uint32_t LinesOf(const std::string& bytes) {
  uint32_t lines = 1;
  for (const char c : bytes) lines += c == '\n';
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const bool hasQuips = (data[0] & 1) != 0;
  size_t quipBytes = data[1] | static_cast<size_t>(data[2]) << 8;
  if (quipBytes > size - 3) quipBytes = size - 3;
  const auto* bytes = reinterpret_cast<const char*>(data + 3);
  mimoza::StoredFile quips;
  quips.present = hasQuips;
  if (hasQuips) quips.bytes.assign(bytes, quipBytes);
  mimoza::StoredFile dictionary;
  dictionary.present = true;
  dictionary.bytes.assign(bytes + quipBytes, size - 3 - quipBytes);
  mimoza::CheckOptions options;
  options.hardLineBytes = 300;
  std::vector<mimoza::CheckDiagnostic> diagnostics;
  mimoza::CheckFigures figures;
  if (!mimoza::CheckDataTexts(dictionary, quips, options, &diagnostics, &figures)) std::abort();
  if (figures.turnSteps < 0 || figures.turnSteps > mimoza::kTurnSteps) std::abort();

  const uint32_t lines[2] = {LinesOf(dictionary.bytes), LinesOf(quips.bytes)};
  int32_t counts[2][mimoza::RuleCount] = {};
  const mimoza::CheckDiagnostic* last = nullptr;
  for (const mimoza::CheckDiagnostic& d : diagnostics) {
    if (d.rule < 0 || d.rule >= mimoza::RuleCount || d.severity < 0 || d.severity > 2) {
      std::abort();
    }
    if (d.file == mimoza::CheckedQuips && !hasQuips) std::abort();
    // A place in the file, or the whole file; the place exists.
    if ((d.line == 0) != (d.column == 0) || d.line > lines[d.file]) std::abort();
    // In file order, each file's places in order and its whole-file diagnostics last.
    if (last != nullptr && last->file == d.file) {
      if (last->line == 0 && d.line != 0) std::abort();
      if (d.line != 0 &&
          (d.line < last->line || (d.line == last->line && d.column < last->column))) {
        std::abort();
      }
    }
    if (last != nullptr && last->file > d.file) std::abort();
    last = &d;
    // A hundred places and one note on the rest; the prompts missing in one note.
    if (++counts[d.file][d.rule] > 101) std::abort();
    if (d.rule == mimoza::RulePromptMissing &&
        (counts[d.file][d.rule] > 1 || figures.missingPrompts == 0)) {
      std::abort();
    }
    // Quoted file text never carries a control byte to the terminal.
    for (const mimoza::Language language : {mimoza::LanguageEnglish, mimoza::LanguageJapanese}) {
      const std::string message = mimoza::ComposeCheck(language, d.message);
      if (message.empty()) std::abort();
      for (const char c : message) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) std::abort();
      }
    }
  }
  return 0;
}
