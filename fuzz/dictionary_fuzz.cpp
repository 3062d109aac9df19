// fuzz/dictionary_fuzz.cpp: dictionary bytes and a subject -> LookupAnswer in both modes, and the
// key screen's verdicts against the pattern matcher.
// Input: one byte of output limit, the subject up to the first NUL (at most 6000 bytes), then the
// dictionary text. The lookup runs over the text in memory, the same path as over the file.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "knowledge/key_match.h"
#include "knowledge/knowledge.h"
#include "knowledge/knowledge_internal.h"
#include "pattern/pattern.h"

namespace {

// CheckScreen: a verdict given without compiling must be the matcher's own.
void CheckScreen(const std::string& key, const std::string& subject) {
  mimoza::SubjectIndex index;
  mimoza::IndexSubject(subject.c_str(), &index);
  const mimoza::KeyVerdict verdict = mimoza::JudgeKey(index, key.data(), key.size());
  if (verdict == mimoza::KeySearch) return;
  mimoza::Pattern* pattern = mimoza::CompilePattern(key.c_str());
  mimoza::MatchSpan* spans = nullptr;
  const bool found = mimoza::SearchPattern(pattern, subject.c_str(), &spans, 0) > 0;
  mimoza::FreeSpans(spans);
  mimoza::FreePattern(pattern);
  if (found != (verdict == mimoza::KeyMatch)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint32_t outLen = data[0];
  const char* rest = reinterpret_cast<const char*>(data + 1);
  const size_t restSize = size - 1;
  const void* nul = std::memchr(rest, '\0', restSize);
  const size_t subjectSize = nul ? static_cast<size_t>(static_cast<const char*>(nul) - rest) : 0;
  if (subjectSize > 6000) return 0;
  const std::string subject(rest, subjectSize);
  const size_t textStart = nul ? subjectSize + 1 : 0;
  const std::string text(rest + textStart, restSize - textStart);

  for (mimoza::MatchMode mode : {mimoza::ExactKey, mimoza::PatternKey}) {
    std::string out(outLen + 2, '\x55');
    mimoza::srand(1);
    const bool found = mimoza::LookupAnswerInText(text.data(), text.size(), subject.c_str(), mode,
                                                  out.data(), outLen);
    // At most outLen bytes and a NUL, and nothing at all without an answer.
    if (out[outLen + 1] != '\x55') std::abort();
    if (found && std::strlen(out.c_str()) > outLen) std::abort();
    if (!found && out != std::string(outLen + 2, '\x55')) std::abort();
  }

  // The dictionary bytes up to their first NUL, as a key of their own.
  if (text.size() <= 200) CheckScreen(std::string(text.c_str()), subject);
  return 0;
}
