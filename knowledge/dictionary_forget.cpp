// knowledge/dictionary_forget.cpp: Dictionary.txt and what to forget (answers by line, or the
// last entry learned) -> a plan: the entries it touches, for a face to show, and the file
// without them, every other byte as it was; the plan -> the file replaced.
// Leaves this file: ForgetPlan::Pooled, ForgetPlan::Answers, PlanForget, PlanForgetLast,
// PlanForgetIn, PlanForgetLastIn, ApplyForget. Planner and RemoveWithLines are private.
// Tested by tests/knowledge/dictionary_store_test.cpp.
//
// The elements, their owners and the keys that pool an answer come from the one reader
// (knowledge/dictionary_format.h): an answer belongs to the entry whose key element ends last
// before it, and a key without answers of its own before that entry pools it too.
#include <algorithm>
#include <cerrno>
#include <exception>

#include "knowledge/dictionary_format.h"
#include "knowledge/dictionary_store.h"
#include "knowledge/knowledge.h"

namespace mimoza {
namespace {

// The keys a learned pair is never stored under: the prompts' and the lists'.
const ReservedKey* const kReservedKeys[] = {&kTitleKey,   &kOfferLearnKey, &kAskAnswerKey,
                                            &kLearnedKey, &kOfferAddKey,   &kYesListKey,
                                            &kNoListKey};

bool IsReserved(std::string_view key) {
  return std::any_of(std::begin(kReservedKeys), std::end(kReservedKeys),
                     [key](const ReservedKey* reserved) { return key == reserved->key; });
}

// Covered: whether sorted, merged extents hold every byte of [begin, end).
bool Covered(const std::vector<StoredExtent>& merged, size_t begin, size_t end) {
  const auto after =
      std::upper_bound(merged.begin(), merged.end(), begin,
                       [](size_t at, const StoredExtent& extent) { return at < extent.begin; });
  return after != merged.begin() && (after - 1)->end >= end;
}

std::vector<StoredExtent> Merge(std::vector<StoredExtent> extents) {
  std::sort(extents.begin(), extents.end(),
            [](const StoredExtent& a, const StoredExtent& b) { return a.begin < b.begin; });
  std::vector<StoredExtent> merged;
  for (const StoredExtent& extent : extents) {
    if (!merged.empty() && extent.begin <= merged.back().end) {
      merged.back().end = std::max(merged.back().end, extent.end);
    } else {
      merged.push_back(extent);
    }
  }
  return merged;
}

// RemoveWithLines: the stored bytes without the extents, and without every line that held
// nothing else (its line end goes with it), so that an element alone on its line leaves no
// empty line, and a key and its one answer on one line leave none either.
std::string RemoveWithLines(const StoredText& text, std::vector<StoredExtent> extents) {
  const std::string& raw = text.Raw();
  std::vector<StoredExtent> merged = Merge(std::move(extents));
  std::vector<StoredExtent> lines;
  for (const StoredExtent& extent : merged) {
    if (extent.end <= extent.begin) continue;
    for (uint32_t line = text.LineOf(extent.begin); line <= text.LineOf(extent.end - 1); ++line) {
      const size_t start = text.LineStart(line);
      const size_t feed = raw.find('\n', start);
      const size_t end = feed == std::string::npos ? raw.size() : feed;
      const size_t content = end > start && feed != std::string::npos && raw[end - 1] == '\r'
                                 ? end - 1
                                 : end;  // the line's bytes before its CR LF or LF
      if (Covered(merged, start, content)) {
        lines.push_back(StoredExtent{start, feed == std::string::npos ? raw.size() : feed + 1});
      }
    }
  }
  merged.insert(merged.end(), lines.begin(), lines.end());
  merged = Merge(std::move(merged));
  std::string kept;
  kept.reserve(raw.size());
  size_t at = 0;
  for (const StoredExtent& extent : merged) {
    kept.append(raw, at, extent.begin - at);
    at = extent.end;
  }
  kept.append(raw, at, std::string::npos);
  return kept;
}

// Planner: all state of one plan: the stored text, its elements and each answer's owner.
class Planner {
 public:
  Planner(const std::string& stored, ForgetPlan& thePlan) : text(stored), plan(thePlan) {}

  bool Read() {
    if (!elements.Read(text.Text(), text.Length()) || !elements.Walk()) return false;
    owners.resize(elements.Answers().size());
    for (size_t i = 0; i < owners.size(); ++i) owners[i] = elements.OwnerOf(i);
    return true;
  }

  // Covers: whether the answer element (which starts on line) stands at column of that line: from
  // its opening tag to the end of its closing one, or to the line's end when it runs on.
  bool Covers(const AnswerElement& answer, uint32_t line, uint32_t column) const {
    const TextPlace start = text.Place(text.Stored(answer.open));
    // Just after its last byte as stored: a CR that folding dropped after it is not its own.
    const TextPlace end = text.Place(text.Stored(elements.ElementEnd(answer) - 1) + 1);
    return column >= start.column && (end.line > line || column < end.column);
  }

  // Find: the answer a target names; false, with the plan's problem set, when there is none.
  bool Find(const ForgetTarget& target, size_t* answer) {
    plan.line = target.line;
    const std::string& raw = text.Raw();
    const uint32_t last = raw.empty() ? 0 : text.LineOf(raw.size() - 1);
    if (target.line == 0 || target.line > last) return Problem(ForgetPastEnd, last);
    std::vector<size_t> starting;  // the answers whose opening tag stands on the line
    const std::vector<AnswerElement>& answers = elements.Answers();
    for (size_t i = 0; i < answers.size(); ++i) {
      if (text.FoldedLine(answers[i].open) == target.line) starting.push_back(i);
    }
    for (const size_t i : starting) {
      if (target.column == 0 || Covers(answers[i], target.line, target.column)) {
        *answer = i;
        return true;
      }
    }
    if (!starting.empty())
      return Problem(ForgetNoSuchAnswer, static_cast<uint32_t>(starting.size()));
    for (const KeyElement& key : elements.Keys()) {
      if (Spans(key.open, ElementEnd(key), target.line)) {
        return Problem(ForgetKeyLine, text.FoldedLine(key.open));
      }
    }
    for (const AnswerElement& other : answers) {
      if (Spans(other.open, elements.ElementEnd(other), target.line)) {
        return Problem(ForgetInsideAnswer, text.FoldedLine(other.open));
      }
    }
    return Problem(ForgetNoAnswer, 0);
  }

  // LastLearned: the walk of the last entry whose key is no prompt's or list's and that has an
  // answer of its own; kNoOffset when there is none.
  size_t LastLearned() const {
    for (size_t w = elements.Walks().size(); w-- > 0;) {
      const KeyElement& key = elements.Keys()[elements.Walks()[w].key];
      if (!IsReserved(elements.KeyText(key)) &&
          std::find(owners.begin(), owners.end(), w) != owners.end()) {
        return w;
      }
    }
    return kNoOffset;
  }
  std::vector<size_t> OwnAnswers(size_t walk) const {
    std::vector<size_t> own;
    for (size_t i = 0; i < owners.size(); ++i) {
      if (owners[i] == walk) own.push_back(i);
    }
    return own;
  }

  // Remove: the plan's entries and content for the answers chosen (each once).
  void Remove(std::vector<size_t> chosen) {
    std::sort(chosen.begin(), chosen.end());
    chosen.erase(std::unique(chosen.begin(), chosen.end()), chosen.end());
    std::vector<StoredExtent> extents;
    extents.reserve(chosen.size() + 1);
    for (const size_t i : chosen) {
      const AnswerElement& answer = elements.Answers()[i];
      extents.push_back(Extent(answer.open, elements.ElementEnd(answer)));
    }
    const std::vector<StoredExtent> removed = Merge(extents);
    // One entry per owner, in file order (the answers before the first key have none).
    for (size_t first = 0; first < chosen.size();) {
      const size_t owner = owners[chosen[first]];
      ForgottenEntry entry;
      size_t next = first;
      for (; next < chosen.size() && owners[chosen[next]] == owner; ++next) {
        entry.answers.push_back(Answer(chosen[next]));
        for (const size_t w : elements.PoolingWalks(chosen[next])) {
          if (w == owner) continue;
          const PlacedText pooler = Key(elements.Walks()[w].key);
          if (std::none_of(entry.poolers.begin(), entry.poolers.end(),
                           [&](const PlacedText& p) { return p.line == pooler.line; })) {
            entry.poolers.push_back(pooler);
          }
        }
      }
      if (owner != kNoOffset) {
        entry.hasKey = true;
        const size_t key = elements.Walks()[owner].key;
        entry.key = Key(key);
        for (const size_t i : OwnAnswers(owner)) {
          // An answer opened inside one that goes, goes with it.
          const size_t at = text.Stored(elements.Answers()[i].open);
          if (!Covered(removed, at, at + 1)) ++entry.answersLeft;
        }
        entry.keyGoes = entry.answersLeft == 0;
        if (entry.keyGoes) {
          const KeyElement& element = elements.Keys()[key];
          extents.push_back(Extent(element.open, ElementEnd(element)));
        }
      }
      plan.entries.push_back(std::move(entry));
      first = next;
    }
    plan.content = RemoveWithLines(text, std::move(extents));
  }

 private:
  bool Problem(ForgetProblem problem, uint32_t at) {
    plan.problem = problem;
    plan.at = at;
    return false;
  }
  size_t ElementEnd(const KeyElement& key) const { return elements.ElementEnd(key); }
  // Spans: whether the folded bytes [begin, end) reach onto a line.
  bool Spans(size_t begin, size_t end, uint32_t line) const {
    return text.FoldedLine(begin) <= line && line <= text.FoldedLine(end > begin ? end - 1 : begin);
  }
  // Extent: the stored bytes of the folded [begin, end).
  StoredExtent Extent(size_t begin, size_t end) const {
    const size_t storedBegin = text.Stored(begin);
    return StoredExtent{storedBegin, end > begin ? text.Stored(end - 1) + 1 : storedBegin};
  }
  PlacedText Key(size_t k) const {
    const KeyElement& key = elements.Keys()[k];
    return PlacedText{text.FoldedLine(key.open), std::string(elements.KeyText(key))};
  }
  PlacedText Answer(size_t i) const {
    const AnswerElement& answer = elements.Answers()[i];
    return PlacedText{text.FoldedLine(answer.open), std::string(elements.AnswerText(answer))};
  }

  const StoredText text;
  ForgetPlan& plan;
  DictionaryElements elements;
  std::vector<size_t> owners;  // per answer: OwnerOf
};

ForgetPlan OutOfMemory() {
  ForgetPlan plan;
  plan.problem = ForgetUnreadable;
  plan.result.status = StoreFailed;
  plan.result.stage = StageMemory;
  plan.result.error = ENOMEM;
  return plan;
}

ForgetPlan Unreadable(const CurrentDictionary& current) {
  ForgetPlan plan;
  plan.problem = ForgetUnreadable;
  plan.result = current.result;
  return plan;
}

}  // namespace

bool ForgetPlan::Pooled() const {
  return std::any_of(entries.begin(), entries.end(),
                     [](const ForgottenEntry& entry) { return !entry.poolers.empty(); });
}

size_t ForgetPlan::Answers() const {
  size_t count = 0;
  for (const ForgottenEntry& entry : entries) count += entry.answers.size();
  return count;
}

ForgetPlan PlanForgetIn(const std::string& stored, std::span<const ForgetTarget> targets) {
  try {
    ForgetPlan plan;
    plan.snapshot = DictionarySnapshot::Of(stored, true);
    Planner planner(stored, plan);
    if (!planner.Read()) return OutOfMemory();
    std::vector<size_t> chosen;
    for (const ForgetTarget& target : targets) {
      size_t answer = 0;
      if (!planner.Find(target, &answer)) return plan;
      chosen.push_back(answer);
    }
    plan.line = 0;
    if (!chosen.empty()) planner.Remove(std::move(chosen));
    return plan;
  } catch (const std::exception&) {  // memory ran out: no exception leaves the core
    return OutOfMemory();
  }
}

ForgetPlan PlanForgetLastIn(const std::string& stored) {
  try {
    ForgetPlan plan;
    plan.snapshot = DictionarySnapshot::Of(stored, true);
    plan.whole = true;
    Planner planner(stored, plan);
    if (!planner.Read()) return OutOfMemory();
    const size_t walk = planner.LastLearned();
    if (walk == kNoOffset) {
      plan.problem = ForgetNothingLearned;
      return plan;
    }
    planner.Remove(planner.OwnAnswers(walk));
    return plan;
  } catch (const std::exception&) {
    return OutOfMemory();
  }
}

ForgetPlan PlanForget(std::span<const ForgetTarget> targets) {
  const CurrentDictionary current = ReadCurrentDictionary();
  if (current.result.status != StoreDone) return Unreadable(current);
  ForgetPlan plan = PlanForgetIn(current.bytes, targets);
  plan.snapshot = current.snapshot;
  return plan;
}

ForgetPlan PlanForgetLast() {
  const CurrentDictionary current = ReadCurrentDictionary();
  if (current.result.status != StoreDone) return Unreadable(current);
  ForgetPlan plan = PlanForgetLastIn(current.bytes);
  plan.snapshot = current.snapshot;
  return plan;
}

StoreResult ApplyForget(const ForgetPlan& plan, const ReplaceOptions& options) {
  if (plan.problem != ForgetFine) return plan.result;
  if (plan.entries.empty()) return StoreResult{};
  DictionaryLock lock;
  StoreResult taken = lock.Take();
  if (taken.status != StoreDone) return taken;
  return ReplaceDictionary(lock, plan.snapshot, plan.content, options);
}

}  // namespace mimoza
