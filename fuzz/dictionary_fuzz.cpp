// fuzz/dictionary_fuzz.cpp: dictionary bytes and a subject -> the kept Dictionary's lookups
// against the reference lookup over the whole text, in both modes and across edits of the file;
// what both lookup paths tell an observer; and the verdicts of a key's facts against the pattern
// matcher.
// Input: one byte of output limit, one byte choosing the block size the file is read in, the
// subject up to the first NUL (at most 6000 bytes), then the dictionary's bytes. The file is
// Dictionary.txt in the working directory (scripts/run-fuzzers runs each target in a scratch
// directory of its own).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "knowledge/knowledge.h"
#include "knowledge/knowledge_internal.h"
#include "knowledge/subject_search.h"
#include "knowledge/text_file.h"
#include "pattern/pattern.h"

namespace {

void WriteFile(const std::string& bytes) {
  std::FILE* f = std::fopen("Dictionary.txt", "wb");
  if (f == nullptr) std::abort();
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// Check: the kept dictionary answers as the reference does over the same bytes, read as text.
void Check(mimoza::Dictionary& dictionary, const std::string& bytes, const std::string& subject,
           uint32_t outLen) {
  WriteFile(bytes);
  std::string text = bytes;
  text.resize(mimoza::FoldTextLineEnds(text.data(), text.size()));
  for (mimoza::MatchMode mode : {mimoza::ExactKey, mimoza::PatternKey}) {
    std::string expected(outLen + 2, '\x55');
    std::string out(outLen + 2, '\x55');
    mimoza::srand(1);
    const bool reference = mimoza::LookupAnswerInText(text.data(), text.size(), subject.c_str(),
                                                      mode, expected.data(), outLen);
    mimoza::srand(1);
    const bool found = dictionary.LookupAnswer(subject.c_str(), mode, out.data(), outLen);
    if (found != reference || out != expected) std::abort();
    // At most outLen bytes and a NUL, and nothing at all without an answer.
    if (out[outLen + 1] != '\x55') std::abort();
    if (!found && out != std::string(outLen + 2, '\x55')) std::abort();
  }
}

// Recorder: what a lookup tells its observer, as one text; each span must lie in the subject.
class Recorder final : public mimoza::LookupObserver {
 public:
  explicit Recorder(const std::string& theSubject) : subject(theSubject) {}
  void LookupStarted() override { told += "S"; }
  void KeyMatched(const mimoza::MatchedKey& key) override {
    told += "K" + std::to_string(key.line) + ":" + std::string(key.text, key.length) + ":" +
            std::to_string(key.spanStart) + "-" + std::to_string(key.spanEnd);
    // A key its facts decided may still find its search's budget too small: then no span.
    if (key.spanFound && (key.spanStart > key.spanEnd || key.spanEnd > subject.size())) {
      std::abort();
    }
  }
  void AnswerPooled(const char* text, uint64_t line) override {
    told += "A" + std::to_string(line) + ":" + std::string(text) + "|";
  }
  void LookupEnded(int32_t size, int32_t drawn) override {
    told += "E" + std::to_string(size) + "," + std::to_string(drawn);
  }
  const std::string& subject;
  std::string told;
};

// CheckObserved: the index and the whole text tell an observer the same (a 0x1A byte at the end
// makes a dictionary read the file whole; dropping it changes nothing else), and drawing nothing.
void CheckObserved(mimoza::Dictionary& dictionary, const std::string& bytes,
                   const std::string& subject) {
  if (subject.empty()) return;
  WriteFile(bytes);
  Recorder indexed(subject);
  mimoza::srand(1);
  dictionary.ObserveLookup(subject.c_str(), mimoza::PatternKey, indexed);
  if (mimoza::rand() != 41) std::abort();  // the first draw after srand(1)
  WriteFile(bytes + "\x1a");
  mimoza::Dictionary whole;
  Recorder read(subject);
  whole.ObserveLookup(subject.c_str(), mimoza::PatternKey, read);
  if (indexed.told != read.told) std::abort();
}

// CheckFacts: a verdict given without compiling must be the matcher's own.
void CheckFacts(const std::string& key, const std::string& subject) {
  mimoza::PatternFacts facts;
  if (!mimoza::ComputePatternFacts(key.c_str(), &facts)) return;
  mimoza::SubjectIndex index;
  mimoza::IndexSubject(subject.c_str(), &index);
  const mimoza::KeyVerdict verdict = mimoza::JudgeFacts(index, facts);
  if (verdict == mimoza::KeySearch) return;
  if (mimoza::MatchesPattern(key.c_str(), subject.c_str()) != (verdict == mimoza::KeyMatch)) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint32_t outLen = data[0];
  // Small blocks put block ends inside tags and key texts.
  const size_t kBlockSizes[] = {0, 1, 7, 64, 512};
  const size_t blockBytes = kBlockSizes[data[1] % 5];
  const char* rest = reinterpret_cast<const char*>(data + 2);
  const size_t restSize = size - 2;
  const void* nul = std::memchr(rest, '\0', restSize);
  const size_t subjectSize = nul ? static_cast<size_t>(static_cast<const char*>(nul) - rest) : 0;
  if (subjectSize > 6000) return 0;
  const std::string subject(rest, subjectSize);
  const size_t textStart = nul ? subjectSize + 1 : 0;
  const std::string text(rest + textStart, restSize - textStart);

  // One dictionary sees the file, an edit of its second half, and an append: each lookup after a
  // change reuses what it learned before.
  mimoza::Dictionary dictionary(blockBytes);
  Check(dictionary, text, subject, outLen);
  std::string edited = text.substr(0, text.size() / 2);
  for (size_t i = text.size(); i > text.size() / 2; --i) edited += text[i - 1];
  Check(dictionary, edited, subject, outLen);
  Check(dictionary, edited + "<KEY>" + subject + "</KEY>\r\n<ANS>a\r\nb</ANS>\r\n", subject,
        outLen);
  Check(dictionary, text, subject, outLen);

  CheckObserved(dictionary, text, subject);

  // The dictionary bytes up to their first NUL, as a key of their own.
  if (text.size() <= 200) CheckFacts(std::string(text.c_str()), subject);
  return 0;
}
