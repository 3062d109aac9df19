// fuzz/store_fuzz.cpp: the dictionary store's readers of outside bytes: a dictionary and lines
// to forget -> a forget plan, whose content must be the dictionary with only whole removals
// taken out (every other byte in order); a backup name -> IsBackupName, which must hold only
// for names of the exact shape; two texts' lines -> AlignLines, whose alignment must be
// increasing and keep only equal lines.
// Input: two bytes of a line and one of an answer on it, then the dictionary's bytes; the same
// bytes, split at the first NUL, are also two "copies" whose lines are aligned, and the first
// part is a backup name.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "knowledge/dictionary_store.h"

namespace {

void Expect(bool holds) {
  if (!holds) std::abort();
}

std::vector<uint64_t> LineHashes(std::string_view text) {
  std::vector<uint64_t> lines;
  for (size_t at = 0; at < text.size();) {
    const size_t lf = text.find('\n', at);
    const size_t end = lf == std::string_view::npos ? text.size() : lf;
    lines.push_back(mimoza::LineHash(text.substr(at, end - at)));
    at = end + 1;
  }
  return lines;
}

// IsSubsequence: whether part's bytes all stand in whole, in order.
bool IsSubsequence(const std::string& part, const std::string& whole) {
  size_t at = 0;
  for (const char c : part) {
    at = whole.find(c, at);
    if (at == std::string::npos) return false;
    ++at;
  }
  return true;
}

// ShapedLikeABackup: the reference for IsBackupName, spelled out character by character.
bool ShapedLikeABackup(std::string_view name) {
  const std::string_view plain = "Dictionary-########-######-###.txt";  // #: a digit
  const std::string_view restore = "Dictionary-########-######-###-restore.txt";
  for (const std::string_view shape : {plain, restore}) {
    if (name.size() != shape.size()) continue;
    bool fits = true;
    for (size_t i = 0; i < shape.size() && fits; ++i) {
      fits = shape[i] == '#' ? name[i] >= '0' && name[i] <= '9' : name[i] == shape[i];
    }
    if (fits) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const mimoza::ForgetTarget target{static_cast<uint32_t>(data[0] << 8 | data[1]),
                                    static_cast<uint32_t>(data[2] % 4)};
  const std::string stored(reinterpret_cast<const char*>(data) + 3, size - 3);

  const mimoza::ForgetPlan byLine = mimoza::PlanForgetIn(stored, {&target, 1});
  const mimoza::ForgetPlan last = mimoza::PlanForgetLastIn(stored);
  for (const mimoza::ForgetPlan* plan : {&byLine, &last}) {
    if (plan->problem != mimoza::ForgetFine) continue;
    Expect(plan->Answers() > 0);
    Expect(plan->content.size() < stored.size());
    Expect(IsSubsequence(plan->content, stored));
  }

  const std::string_view whole(stored);
  const size_t nul = whole.find('\0');
  const std::string_view first = whole.substr(0, nul);
  Expect(mimoza::IsBackupName(first) == ShapedLikeABackup(first));

  const std::vector<uint64_t> written = LineHashes(first);
  const std::vector<uint64_t> edited =
      LineHashes(nul == std::string_view::npos ? std::string_view() : whole.substr(nul + 1));
  const std::vector<size_t> kept = mimoza::AlignLines(written, edited);
  Expect(kept.size() == edited.size());
  size_t next = 0;
  for (size_t i = 0; i < kept.size(); ++i) {
    if (kept[i] == mimoza::kNoLine) continue;
    Expect(kept[i] >= next && kept[i] < written.size() && written[kept[i]] == edited[i]);
    next = kept[i] + 1;
  }
  return 0;
}
