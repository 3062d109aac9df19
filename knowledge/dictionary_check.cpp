// knowledge/dictionary_check.cpp: Dictionary.txt and Boke.dat as stored -> diagnostics.
// Leaves this file: ReadStoredFile, CheckDataTexts, CheckDataFiles. DictionaryChecker is
// private; the text rules are in knowledge/check_text.cpp, the judgement of keys in
// knowledge/check_keys.cpp.
// Tested by tests/knowledge/dictionary_check_test.cpp; fuzzed by fuzz/dictionary_check_fuzz.cpp;
// measured by bench/check_bench.cpp.
//
// The dictionary is read the way every lookup reads it: folded (0x1A dropped, CR LF -> LF), its
// key elements found one after the other from the end of the last ("<KEY", the first ">", the
// first "</KEY>"), and each key's answers walked as a lookup walks them when the key matches:
// from the first "<ANS>" after the key, each "<ANS>" in turn, until an exact "<KEY>" stands
// between an answer's "</ANS>" and the next "<ANS>". Whatever that reading does not take as the
// file looks meant (a key or an answer running on over tags, tags and text it never reads) is a
// structure diagnostic. Every key is then judged by the matcher itself (pattern/examine.cpp): the
// key text as a lookup cuts it, compiled, examined and searched.
#include "knowledge/dictionary_check.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <string_view>
#include <unordered_map>

#include "knowledge/check_internal.h"
#include "knowledge/knowledge_internal.h"
#include "knowledge/text_file.h"
#include "pattern/pattern.h"

namespace mimoza {
namespace {

struct KeyElement {
  size_t open;   // "<KEY"
  size_t text;   // just after the first ">" after it
  size_t close;  // its "</KEY>"
  size_t after;  // just after the "</KEY>"
};

struct AnswerElement {
  size_t open;   // "<ANS>"
  size_t close;  // the first "</ANS>" after its text, or kNoOffset
  bool stop;     // a lookup's answer walk ends with this answer
};

// FirstAtOrAfter: the index of the first position at or after at in a sorted table.
size_t FirstAtOrAfter(const std::vector<size_t>& positions, size_t at) {
  return static_cast<size_t>(std::lower_bound(positions.begin(), positions.end(), at) -
                             positions.begin());
}

size_t PositionAtOrAfter(const std::vector<size_t>& positions, size_t at) {
  const size_t i = FirstAtOrAfter(positions, at);
  return i < positions.size() ? positions[i] : kNoOffset;
}

// Extents: [begin, end) stretches of the folded text.
using Extents = std::vector<std::pair<size_t, size_t>>;

// Merged: the same bytes as sorted, disjoint extents.
Extents Merged(Extents extents) {
  std::sort(extents.begin(), extents.end());
  Extents merged;
  for (const auto& extent : extents) {
    if (!merged.empty() && extent.first <= merged.back().second) {
      merged.back().second = std::max(merged.back().second, extent.second);
    } else {
      merged.push_back(extent);
    }
  }
  return merged;
}

// Covers: whether sorted, disjoint extents hold the byte at.
bool Covers(const Extents& merged, size_t at) {
  auto after = std::upper_bound(merged.begin(), merged.end(), std::make_pair(at, kNoOffset));
  return after != merged.begin() && (after - 1)->second > at;
}

// DictionaryChecker: all state of one check of one Dictionary.txt: its tags, its key elements as
// a lookup finds them, each key's answer walk, and what is reported of them.
class DictionaryChecker {
 public:
  DictionaryChecker(const StoredText& stored, const CheckOptions& checkOptions, CheckReporter& out)
      : text(stored), t(stored.Text()), n(stored.Length()), options(checkOptions), reporter(out) {}

  void Run() {
    FindTags();
    FindKeys();
    FindAnswers();
    WalkAnswers();
    CheckKeyElements();
    CheckAnswerElements();
    CheckBetween();
    CheckKeys();
    CheckPrompts();
  }

 private:
  struct Walk {
    size_t begin;   // the first answer a lookup collects for the key
    size_t end;     // one past the last
    size_t ownEnd;  // one past the last that stands before the next key
  };

  void Report(size_t at, CheckSeverity severity, CheckRule rule, const std::string& message) {
    reporter.Add(CheckedDictionary, at == kNoOffset ? kNoOffset : text.Stored(at), severity, rule,
                 [&] { return message; });
  }
  std::string LineOf(size_t at) const { return std::to_string(text.FoldedLine(at)); }
  bool StartsWith(size_t at, std::string_view tag) const {
    return n - at >= tag.size() && std::memcmp(t + at, tag.data(), tag.size()) == 0;
  }
  // KeyText: the key as a lookup reads it: cut to kMaxKeyBytes and at a NUL.
  std::string_view KeyText(const KeyElement& key) const {
    std::string_view read = text.Folded(key.text, key.close);
    if (read.size() > kMaxKeyBytes) read = read.substr(0, kMaxKeyBytes);
    const size_t nul = read.find('\0');
    return nul == std::string_view::npos ? read : read.substr(0, nul);
  }
  size_t AnswerEnd(const AnswerElement& answer) const {
    return answer.close == kNoOffset ? n : answer.close;
  }
  std::string_view AnswerText(const AnswerElement& answer) const {
    return text.Folded(answer.open + kAnswerOpenTag.size(), AnswerEnd(answer));
  }
  size_t AnswerExtentEnd(const AnswerElement& answer) const {
    return answer.close == kNoOffset ? n : answer.close + kAnswerCloseTag.size();
  }
  // FirstTagIn: the first tag in [begin, end) and its text, or kNoOffset.
  size_t FirstTagIn(size_t begin, size_t end, std::string_view* tag) const {
    size_t first = kNoOffset;
    const std::pair<const std::vector<size_t>*, std::string_view> kinds[] = {
        {&keyOpens, kKeyOpenTag},
        {&keyCloses, kKeyCloseTag},
        {&answerOpens, kAnswerOpenTag},
        {&answerCloses, kAnswerCloseTag}};
    for (const auto& [positions, name] : kinds) {
      const size_t at = PositionAtOrAfter(*positions, begin);
      if (at < end && at < first) {
        first = at;
        *tag = name == kKeyOpenTag ? kExactKeyTag : name;
      }
    }
    return first;
  }
  bool LineEndIn(size_t begin, size_t end) const {
    return std::memchr(t + begin, '\n', end - begin) != nullptr;
  }

  // FindTags: every tag of the folded text, in order.
  void FindTags() {
    for (const char* at = t;
         (at = static_cast<const char*>(std::memchr(at, '<', static_cast<size_t>(t + n - at)))) !=
         nullptr;
         ++at) {
      const auto offset = static_cast<size_t>(at - t);
      if (StartsWith(offset, kKeyOpenTag)) {
        keyOpens.push_back(offset);
      } else if (StartsWith(offset, kKeyCloseTag)) {
        keyCloses.push_back(offset);
      } else if (StartsWith(offset, kAnswerOpenTag)) {
        answerOpens.push_back(offset);
      } else if (StartsWith(offset, kAnswerCloseTag)) {
        answerCloses.push_back(offset);
      }
    }
  }

  // FindKeys: the key elements as a lookup finds them when no key matches, each from the end of
  // the one before; the first "<KEY" that completes no element ends what is ever read.
  void FindKeys() {
    size_t scan = 0;
    for (;;) {
      const size_t open = PositionAtOrAfter(keyOpens, scan);
      if (open == kNoOffset) return;
      const char* gt = FindByte(t + open + kKeyOpenTag.size(), '>', t + n);
      const size_t close =
          gt == nullptr ? kNoOffset : PositionAtOrAfter(keyCloses, static_cast<size_t>(gt - t) + 1);
      if (close == kNoOffset) {
        neverRead = open;
        return;
      }
      keys.push_back({open, static_cast<size_t>(gt - t) + 1, close, close + kKeyCloseTag.size()});
      scan = close + kKeyCloseTag.size();
    }
  }

  // FindAnswers: every "<ANS>" with its close and whether an answer walk stops at it.
  void FindAnswers() {
    answers.reserve(answerOpens.size());
    for (const size_t open : answerOpens) {
      const size_t close = PositionAtOrAfter(answerCloses, open + kAnswerOpenTag.size());
      bool stop = close == kNoOffset;
      if (!stop) {
        const size_t nextOpen = PositionAtOrAfter(answerOpens, close);
        stop = nextOpen == kNoOffset || FindBytes(t + close, kExactKeyTag.data(),
                                                  kExactKeyTag.size(), t + nextOpen) != nullptr;
      }
      answers.push_back({open, close, stop});
    }
  }

  // WalkAnswers: for each key, the run of answers a lookup collects when it matches, and those
  // of them that stand before the next key (its own); and which answers some walk collects.
  void WalkAnswers() {
    const size_t count = answers.size();
    std::vector<size_t> stopAt(count + 1, count);  // the first stopping answer at or after i
    for (size_t i = count; i-- > 0;) stopAt[i] = answers[i].stop ? i : stopAt[i + 1];
    std::vector<int32_t> walked(count + 1, 0);  // +1 where a walk begins, -1 after it ends
    walks.resize(keys.size());
    for (size_t k = 0; k < keys.size(); ++k) {
      Walk& walk = walks[k];
      walk.begin = walk.end = walk.ownEnd = count;
      if (keys[k].after >= n) continue;
      walk.begin = FirstAtOrAfter(answerOpens, keys[k].after);
      if (walk.begin == count) continue;
      walk.end = stopAt[walk.begin] + 1;
      const size_t nextKey = k + 1 < keys.size() ? keys[k + 1].open : n;
      walk.ownEnd = std::min(walk.end, FirstAtOrAfter(answerOpens, nextKey));
      ++walked[walk.begin];
      --walked[walk.end];
    }
    collected.assign(count, false);
    int32_t depth = 0;
    for (size_t i = 0; i < count; ++i) {
      depth += walked[i];
      collected[i] = depth > 0;
    }
  }

  // CheckKeyElements: keys that run on over tags, tags inside keys, inexact key tags, keys with
  // no answer, keys cut short, and the key that is never closed.
  void CheckKeyElements() {
    for (size_t k = 0; k < keys.size(); ++k) {
      const KeyElement& key = keys[k];
      if (key.text > key.open + kKeyOpenTag.size() + 1) {
        Report(key.open, CheckError, RuleKeyTag,
               Excerpt(text.Folded(key.open, key.text)) +
                   " opens a key but is not \"<KEY>\": a lookup does not end the answers of the "
                   "entry before it there, so that entry takes this entry's answers too");
      }
      std::string_view tag;
      const size_t inside = FirstTagIn(key.text, key.close, &tag);
      if (inside != kNoOffset && LineEndIn(key.text, inside)) {
        const size_t hidden =
            FirstAtOrAfter(keyOpens, key.close) - FirstAtOrAfter(keyOpens, key.text);
        std::string message = "\"<KEY>\" is not closed before the \"" + std::string(tag) +
                              "\" on line " + LineOf(inside) +
                              ": the key runs on to the \"</KEY>\" on line " + LineOf(key.close);
        if (hidden == 1) {
          message += ", and the entry in between is never read";
        } else if (hidden > 1) {
          message += ", and the " + std::to_string(hidden) + " entries in between are never read";
        } else {
          message += ", taking everything in between as its text";
        }
        Report(key.open, CheckError, RuleUnclosedKey, message);
      } else if (inside != kNoOffset) {
        Report(
            inside, CheckError, RuleTagInText,
            "the key holds the tag \"" + std::string(tag) +
                "\": a dictionary text cannot hold a tag, and this one shifts what a lookup reads");
      }
      const Walk& walk = walks[k];
      if (walk.ownEnd == walk.begin) {
        Report(key.text, CheckWarning, RuleNoAnswer,
               walk.begin == walk.end
                   ? "the key " + Excerpt(KeyText(key)) + " has no answer: it never answers"
                   : "the key " + Excerpt(KeyText(key)) +
                         " has no answer of its own: when it matches, it answers with the "
                         "answers on line " +
                         LineOf(answers[walk.begin].open) + ", which follow the next key");
      }
      const size_t length = key.close - key.text;
      if (length > kMaxKeyBytes) {
        Report(key.text, CheckWarning, RuleKeyCut,
               "the key is " + std::to_string(length) + " bytes long: only its first " +
                   std::to_string(kMaxKeyBytes) +
                   " are read, and the key cut there is another pattern");
      } else if (std::memchr(t + key.text, '\0', length) != nullptr) {
        Report(key.text, CheckWarning, RuleKeyCut,
               "the key holds a NUL byte: it is read only up to it");
      }
    }
    if (neverRead != kNoOffset) {
      // A line feed belongs to the line it ends: the last line is the last byte's.
      const uint32_t lines = text.LineOf(text.Raw().size() - 1) - text.FoldedLine(neverRead) + 1;
      Report(neverRead, CheckError, RuleUnclosedKey,
             "\"<KEY>\" is never closed: nothing from here on is read (" + std::to_string(lines) +
                 (lines == 1 ? " line)" : " lines)"));
    }
  }

  // CheckAnswerElements: answers that run on over tags or to the end, tags inside answers, and
  // the text of every answer a lookup can draw.
  void CheckAnswerElements() {
    bool reportedEnd = false;
    for (size_t i = 0; i < answers.size(); ++i) {
      if (!collected[i]) continue;
      const AnswerElement& answer = answers[i];
      const size_t start = answer.open + kAnswerOpenTag.size();
      std::string_view tag;
      const size_t inside = FirstTagIn(start, AnswerEnd(answer), &tag);
      const std::string runsTo =
          answer.close == kNoOffset
              ? "the answer runs to the end of the file"
              : "the answer runs on to the \"</ANS>\" on line " + LineOf(answer.close);
      if (inside != kNoOffset && LineEndIn(start, inside)) {
        Report(answer.open, CheckError, RuleUnclosedAnswer,
               "\"<ANS>\" is not closed before the \"" + std::string(tag) + "\" on line " +
                   LineOf(inside) + ": " + runsTo + ", taking everything in between as its text");
        reportedEnd = reportedEnd || answer.close == kNoOffset;
      } else if (inside != kNoOffset) {
        Report(inside, CheckError, RuleTagInText,
               "the answer holds the tag \"" + std::string(tag) +
                   "\": a dictionary text cannot hold a tag, and this one shifts what a lookup "
                   "reads");
      } else if (answer.close == kNoOffset && !reportedEnd) {
        Report(answer.open, CheckError, RuleUnclosedAnswer, "\"<ANS>\" is never closed: " + runsTo);
        reportedEnd = true;
      }
      const std::string_view shown = AnswerText(answer);
      const size_t control = FirstControl(shown);
      if (control != kNoOffset) {
        Report(start + control, CheckWarning, RuleControlCharacter,
               ControlMessage("the answer", static_cast<unsigned char>(shown[control])));
      }
      if (shown.size() > kLineBufferBytes) {
        Report(start, CheckWarning, RuleLongText,
               "the answer is " + std::to_string(shown.size()) + " bytes long: only its first " +
                   std::to_string(kLineBufferBytes) + " are shown");
      }
    }
  }

  // CheckBetween: what no element takes: answers no key collects, closing tags that close
  // nothing, and other text between the entries.
  void CheckBetween() {
    const size_t readEnd = neverRead == kNoOffset ? n : neverRead;
    Extents taken;
    taken.reserve(keys.size() + answers.size());
    for (const KeyElement& key : keys) taken.emplace_back(key.open, key.after);
    for (size_t i = 0; i < answers.size(); ++i) {
      if (collected[i]) taken.emplace_back(answers[i].open, AnswerExtentEnd(answers[i]));
    }
    taken = Merged(std::move(taken));
    // Answers that no key collects, outside everything else: each is reported, and taken, once.
    Extents orphans;
    size_t orphanEnd = 0;
    for (size_t i = 0; i < answers.size(); ++i) {
      const AnswerElement& answer = answers[i];
      if (collected[i] || answer.open >= readEnd || answer.open < orphanEnd ||
          Covers(taken, answer.open)) {
        continue;
      }
      Report(answer.open, CheckError, RuleAnswerWithoutKey,
             "an answer with no key before it is never drawn: " + Excerpt(AnswerText(answer)));
      orphanEnd = AnswerExtentEnd(answer);
      orphans.emplace_back(answer.open, orphanEnd);
    }
    taken.insert(taken.end(), orphans.begin(), orphans.end());
    taken = Merged(std::move(taken));
    size_t at = 0;
    for (const auto& [begin, end] : taken) {
      if (begin >= readEnd) break;
      CheckGap(at, begin);
      at = end;
    }
    if (at < readEnd) CheckGap(at, readEnd);
  }

  // CheckGap: reports what stands in text[at, end) besides blanks: closing tags, each on its
  // own, and other text, a line (or the stretch before a closing tag) at a time.
  void CheckGap(size_t at, size_t end) {
    while (at < end) {
      const char c = t[at];
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
        ++at;
        continue;
      }
      bool closing = false;
      for (const std::string_view tag : {kKeyCloseTag, kAnswerCloseTag}) {
        if (closing || at + tag.size() > end || !StartsWith(at, tag)) continue;
        Report(at, CheckError, RuleStrayClose,
               "\"" + std::string(tag) + "\" closes nothing: no element is open here");
        at += tag.size();
        closing = true;
      }
      if (closing) continue;
      const char* lf = FindByte(t + at, '\n', t + end);
      size_t textEnd =
          std::min({lf == nullptr ? end : static_cast<size_t>(lf - t),
                    PositionAtOrAfter(keyCloses, at), PositionAtOrAfter(answerCloses, at)});
      if (textEnd <= at) textEnd = at + 1;  // a tag cut by the gap's end: never, but move on
      std::string_view stray = text.Folded(at, textEnd);
      while (!stray.empty() && (stray.back() == '\r' || stray.back() == ' ')) {
        stray.remove_suffix(1);
      }
      Report(at, CheckError, RuleStrayText,
             "text between entries is neither a key nor an answer, and is never read: " +
                 Excerpt(stray));
      at = textEnd;
    }
  }

  // CheckKeys: each key text judged once, its findings reported at every key that holds it.
  void CheckKeys() {
    std::unordered_map<std::string, std::vector<PatternFinding>> judged;
    for (const KeyElement& key : keys) {
      const std::string keyText(KeyText(key));
      const ReservedKey* own = nullptr;
      for (const PromptEntry& prompt : kPrompts) {
        if (keyText == prompt.key->key) own = prompt.key;
      }
      auto found = judged.find(keyText);
      if (found == judged.end()) {
        found = judged
                    .emplace(keyText, JudgePattern(keyText, "the key " + Excerpt(keyText), false,
                                                   own, options))
                    .first;
      }
      for (const PatternFinding& finding : found->second) {
        Report(key.text, finding.severity, finding.rule, finding.message);
      }
    }
    CheckDuplicates();
  }

  // CheckDuplicates: the same answer twice to the same key text, among each key's own answers.
  void CheckDuplicates() {
    std::unordered_multimap<uint64_t, std::pair<size_t, size_t>> seen;  // hash -> (key, answer)
    for (size_t k = 0; k < keys.size(); ++k) {
      const std::string_view key = KeyText(keys[k]);
      const uint64_t keyHash = HashBytes(key.data(), key.size(), 0x6B6579);
      for (size_t a = walks[k].begin; a < walks[k].ownEnd; ++a) {
        const std::string_view answer = AnswerText(answers[a]);
        const uint64_t hash = HashBytes(answer.data(), answer.size(), keyHash);
        bool twice = false;
        for (auto [it, end] = seen.equal_range(hash); it != end && !twice; ++it) {
          const auto [otherKey, otherAnswer] = it->second;
          if (KeyText(keys[otherKey]) == key && AnswerText(answers[otherAnswer]) == answer) {
            Report(answers[a].open, CheckNote, RuleDuplicate,
                   "the same answer to the same key as on line " +
                       LineOf(answers[otherAnswer].open) + ": it is drawn twice as often");
            twice = true;
          }
        }
        if (!twice) seen.emplace(hash, std::make_pair(k, a));
      }
    }
  }

  // CheckPrompts: every prompt's entry there, with one answer; the yes/no lists judged as the
  // patterns they are.
  void CheckPrompts() {
    for (const PromptEntry& prompt : kPrompts) {
      size_t pooled = 0;
      size_t first = kNoOffset;
      for (size_t k = 0; k < keys.size(); ++k) {
        if (KeyText(keys[k]) != prompt.key->key) continue;
        if (first == kNoOffset) first = k;
        pooled += walks[k].end - walks[k].begin;
        if (prompt.key == &kYesListKey || prompt.key == &kNoListKey) CheckList(prompt, walks[k]);
      }
      if (first == kNoOffset) {
        Report(kNoOffset, CheckNote, RulePromptMissing,
               std::string("no \"") + prompt.key->key + "\" entry (" + prompt.role +
                   "): its default " +
                   Excerpt(prompt.key->defaultText, std::strlen(prompt.key->defaultText)) +
                   " is written when it is first needed");
      } else if (pooled > 1) {
        Report(keys[first].text, CheckNote, RulePromptAnswers,
               std::string("\"") + prompt.key->key + "\" (" + prompt.role + ") has " +
                   std::to_string(pooled) + " answers: one is drawn at random each time");
      }
    }
  }

  // CheckList: the answers of a yes/no list entry, read as the classifier reads them.
  void CheckList(const PromptEntry& prompt, const Walk& walk) {
    for (size_t a = walk.begin; a < walk.end; ++a) {
      const std::string_view stored = AnswerText(answers[a]);
      const size_t start = answers[a].open + kAnswerOpenTag.size();
      if (stored.size() > kMaxListBytes) {
        Report(start, CheckWarning, RuleLongText,
               std::string(prompt.role) + " is " + std::to_string(stored.size()) +
                   " bytes long: only its first " + std::to_string(kMaxListBytes) + " are read");
      }
      std::string list(stored.substr(0, std::min<size_t>(stored.size(), kMaxListBytes)));
      list.resize(std::strlen(list.c_str()));
      DropTrailingBar(list.data());
      list.resize(std::strlen(list.c_str()));
      for (const PatternFinding& finding : JudgePattern(
               list, std::string(prompt.role) + " " + Excerpt(list), true, nullptr, options)) {
        Report(start, finding.severity, finding.rule, finding.message);
      }
    }
  }

  const StoredText& text;
  const char* t;  // the folded text
  size_t n;
  const CheckOptions& options;
  CheckReporter& reporter;
  std::vector<size_t> keyOpens;  // "<KEY", every one
  std::vector<size_t> keyCloses;
  std::vector<size_t> answerOpens;
  std::vector<size_t> answerCloses;
  std::vector<KeyElement> keys;  // as a lookup finds them
  size_t neverRead = kNoOffset;  // the "<KEY" that completes no element: nothing after is read
  std::vector<AnswerElement> answers;  // one per "<ANS>"
  std::vector<Walk> walks;             // one per key
  std::vector<bool> collected;         // per answer: some key's walk collects it
};

void CheckUnreadable(const StoredFile& file, CheckedFile which, CheckReporter& reporter) {
  reporter.Add(which, kNoOffset, CheckError, RuleUnreadable, [&] {
    return std::string("the file is there but cannot be read: ") +
           (file.error == EINVAL ? "it is not a regular file" : std::strerror(file.error));
  });
}

}  // namespace

StoredFile ReadStoredFile(const char* name) {
  StoredFile file;
  RawFile raw;
  if (!raw.Open(name)) {
    file.present = errno != ENOENT;
    file.error = file.present ? (errno != 0 ? errno : EIO) : 0;
    return file;
  }
  file.present = true;
  try {
    file.bytes.resize(static_cast<size_t>(raw.Size()));
  } catch (const std::exception&) {  // no room for the bytes (a file of gigabytes)
    file.error = ENOMEM;
    return file;
  }
  const int64_t got = raw.ReadAt(0, file.bytes.data(), file.bytes.size());
  if (got < 0) {
    file.error = errno != 0 ? errno : EIO;
    file.bytes.clear();
    return file;
  }
  file.bytes.resize(static_cast<size_t>(got));
  return file;
}

bool CheckDataTexts(const StoredFile& dictionary, const StoredFile& quips,
                    const CheckOptions& options, std::vector<CheckDiagnostic>* diagnostics) {
  try {
    CheckReporter reporter;
    const StoredText* texts[2] = {nullptr, nullptr};
    std::unique_ptr<StoredText> dictionaryText;
    std::unique_ptr<StoredText> quipText;
    if (!dictionary.present) {
      reporter.Add(CheckedDictionary, kNoOffset, CheckNote, RulePromptMissing, [] {
        return std::string(
            "there is no Dictionary.txt: it is made on the first start, and each "
            "prompt's default is written when it is first needed");
      });
    } else if (dictionary.error != 0) {
      CheckUnreadable(dictionary, CheckedDictionary, reporter);
    } else {
      dictionaryText = std::make_unique<StoredText>(dictionary.bytes);
      texts[CheckedDictionary] = dictionaryText.get();
      CheckBytes(*dictionaryText, CheckedDictionary, reporter);
      DictionaryChecker(*dictionaryText, options, reporter).Run();
    }
    if (quips.present && quips.error != 0) {
      CheckUnreadable(quips, CheckedQuips, reporter);
    } else if (quips.present) {
      quipText = std::make_unique<StoredText>(quips.bytes);
      texts[CheckedQuips] = quipText.get();
      CheckBytes(*quipText, CheckedQuips, reporter);
      CheckQuips(*quipText, reporter);
    }
    reporter.Finish(texts, diagnostics);
    return true;
  } catch (const std::exception&) {  // memory ran out: no exception leaves the core
    return false;
  }
}

bool CheckDataFiles(const CheckOptions& options, std::vector<CheckDiagnostic>* diagnostics) {
  const StoredFile dictionary = ReadStoredFile(kDictionaryFile);
  const StoredFile quips = ReadStoredFile(kQuipFile);
  return CheckDataTexts(dictionary, quips, options, diagnostics);
}

}  // namespace mimoza
