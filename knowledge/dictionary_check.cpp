// knowledge/dictionary_check.cpp: Dictionary.txt and Boke.dat as stored -> diagnostics.
// Leaves this file: ReadStoredFile, CheckDataTexts, CheckDataFiles. DictionaryChecker is
// private; the text rules are in knowledge/check_text.cpp, the judgement of keys in
// knowledge/check_keys.cpp.
// Tested by tests/knowledge/dictionary_check_test.cpp; fuzzed by fuzz/dictionary_check_fuzz.cpp;
// measured by bench/check_bench.cpp.
//
// The dictionary is read the way every lookup reads it: folded (0x1A dropped, CR LF -> LF), its
// elements, the chain of keys a lookup finds and the answers each key's walk collects when it
// matches given by the one reader of the format (knowledge/dictionary_format.h), which also
// spells the tags the messages quote. Whatever that reading does not take as the file looks
// meant (a key or an answer running on over tags, tags and text it never reads) is a
// structure diagnostic. Each diagnostic says what it found as a CheckText: the words are the
// faces' (conversation/messages.h), the tags in them the reader's TagText. Every key is then judged
// by the matcher itself (pattern/examine.cpp): the key text as a lookup cuts it, compiled, examined
// and searched; the turn's figure adds up what those searches take, as a lookup charges them.
// Mimoza's own defaults of the yes/no lists are left alone: the user did not write them.
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

// Tag: a tag as an argument of a message.
CheckText Tag(DictionaryTag tag) { return Verbatim(TagText(tag)); }

// IsOwnDefaultList: whether text is, byte for byte, what Mimoza writes under the list key: its
// default today or an earlier one (a file seeded then keeps it).
bool IsOwnDefaultList(const ReservedKey& key, std::string_view text) {
  if (text == key.defaultText) return true;
  return &key == &kNoListKey && text == kFormerNoListText;
}

// DictionaryChecker: all state of one check of one Dictionary.txt: its elements and walks as the
// reader finds them, and what is reported of them.
class DictionaryChecker {
 public:
  DictionaryChecker(const StoredText& stored, const CheckOptions& checkOptions, CheckReporter& out)
      : text(stored), t(stored.Text()), n(stored.Length()), options(checkOptions), reporter(out) {}

  // Run: false when memory ran out. *figures gets what the check measured.
  bool Run(CheckFigures* figures) {
    if (!elements.Read(t, n) || !elements.Walk()) return false;
    CheckKeyElements();
    CheckAnswerElements();
    CheckBetween();
    CheckKeys();
    CheckPrompts();
    CheckAnswerLimit();
    // A key is charged at most the lookup's slice; the lookup as a whole too.
    figures->turnCut = keySteps > kLineLookupSteps;
    figures->turnSteps = std::min(keySteps, kLineLookupSteps) + listSteps;
    figures->missingPrompts = missingPrompts;
    return true;
  }

 private:
  void Report(size_t at, CheckSeverity severity, CheckRule rule, const CheckText& message) {
    reporter.Add(CheckedDictionary, at == kNoOffset ? kNoOffset : text.Stored(at), severity, rule,
                 [&] { return message; });
  }
  CheckText LineOf(size_t at) const { return Count(text.FoldedLine(at)); }
  const KeyElement& KeyOf(const EntryWalk& walk) const { return elements.Keys()[walk.key]; }
  const AnswerElement& Answer(size_t i) const { return elements.Answers()[i]; }
  size_t AnswerEnd(const AnswerElement& answer) const {
    return answer.close == kNoOffset ? n : answer.close;
  }
  // FirstTagIn: the first tag in [begin, end) and its kind, or kNoOffset.
  size_t FirstTagIn(size_t begin, size_t end, DictionaryTag* tag) const {
    size_t first = kNoOffset;
    for (const DictionaryTag kind : {TagKeyOpen, TagKeyClose, TagAnswerOpen, TagAnswerClose}) {
      const size_t at = elements.TagAtOrAfter(kind, begin);
      if (at < end && at < first) {
        first = at;
        *tag = kind;
      }
    }
    return first;
  }
  bool LineEndIn(size_t begin, size_t end) const {
    return std::memchr(t + begin, '\n', end - begin) != nullptr;
  }

  // CheckKeyElements: keys that run on over tags, tags inside keys, inexact key tags, keys with
  // no answer, keys cut short, and the key that is never closed.
  void CheckKeyElements() {
    for (const EntryWalk& walk : elements.Walks()) {
      const KeyElement& key = KeyOf(walk);
      if (key.text > key.open + TagText(TagKeyOpen).size()) {
        Report(key.open, CheckError, RuleKeyTag,
               Says(CheckMsgBadKeyOpening,
                    {Verbatim(Excerpt(text.Folded(key.open, key.text))), Tag(TagKeyOpen)}));
      }
      DictionaryTag tag = TagKeyOpen;
      const size_t inside = FirstTagIn(key.text, key.close, &tag);
      if (inside != kNoOffset && LineEndIn(key.text, inside)) {
        const size_t hidden =
            elements.FirstKeyAtOrAfter(key.close) - elements.FirstKeyAtOrAfter(key.text);
        CheckText message =
            Says(hidden == 1  ? CheckMsgKeyRunsOverEntry
                 : hidden > 1 ? CheckMsgKeyRunsOverEntries
                              : CheckMsgKeyRunsOverText,
                 {Tag(TagKeyOpen), Tag(tag), LineOf(inside), Tag(TagKeyClose), LineOf(key.close)});
        if (hidden > 1) message.arguments.push_back(Count(hidden));
        Report(key.open, CheckError, RuleUnclosedKey, message);
      } else if (inside != kNoOffset) {
        Report(inside, CheckError, RuleTagInText, Says(CheckMsgTagInsideKey, {Tag(tag)}));
      }
      if (walk.ownEnd == walk.begin) {
        const CheckText keyText = Verbatim(Excerpt(elements.KeyText(key)));
        Report(key.text, CheckWarning, RuleNoAnswer,
               walk.begin == walk.end
                   ? Says(CheckMsgNoAnswer, {keyText})
                   : Says(CheckMsgNoOwnAnswer, {keyText, LineOf(Answer(walk.begin).open)}));
      }
      // A key that runs over a tag was told above; its line ends are no news.
      const std::string_view keyText = elements.KeyText(key);
      const size_t control = inside == kNoOffset ? FirstKeyControl(keyText) : kNoOffset;
      if (control != kNoOffset) {
        Report(key.text + control, CheckWarning, RuleKeyControl,
               Says(CheckMsgKeyControl,
                    {Verbatim(HexByte(static_cast<unsigned char>(keyText[control])))}));
      }
      size_t untyped = 0;
      CheckText untypedMessage;
      if (FindUntypedForm(keyText, &untyped, &untypedMessage)) {
        Report(key.text + untyped, CheckWarning, RuleUntypedForm, untypedMessage);
      }
      const size_t length = key.close - key.text;
      if (length > kMaxKeyBytes) {
        Report(key.text, CheckWarning, RuleKeyCut,
               Says(CheckMsgKeyTooLong, {Count(length), Count(kMaxKeyBytes)}));
      } else if (std::memchr(t + key.text, '\0', length) != nullptr) {
        Report(key.text, CheckWarning, RuleKeyCut, Says(CheckMsgKeyNul));
      }
    }
    const size_t neverRead = elements.NeverRead();
    if (neverRead != kNoOffset) {
      // A line feed belongs to the line it ends: the last line is the last byte's.
      const uint32_t lines = text.LineOf(text.Raw().size() - 1) - text.FoldedLine(neverRead) + 1;
      Report(neverRead, CheckError, RuleUnclosedKey,
             Says(lines == 1 ? CheckMsgKeyNeverClosed : CheckMsgKeyNeverClosedLines,
                  {Tag(TagKeyOpen), Count(lines)}));
    }
  }

  // CheckAnswerElements: answers that run on over tags or to the end, tags inside answers, and
  // the text of every answer a lookup can draw.
  void CheckAnswerElements() {
    bool reportedEnd = false;
    for (size_t i = 0; i < elements.Answers().size(); ++i) {
      if (!elements.Collected(i)) continue;
      const AnswerElement& answer = Answer(i);
      DictionaryTag tag = TagAnswerOpen;
      const size_t inside = FirstTagIn(answer.text, AnswerEnd(answer), &tag);
      if (inside != kNoOffset && LineEndIn(answer.text, inside)) {
        CheckText message =
            Says(answer.close == kNoOffset ? CheckMsgAnswerRunsToEnd : CheckMsgAnswerRunsToClose,
                 {Tag(TagAnswerOpen), Tag(tag), LineOf(inside)});
        if (answer.close != kNoOffset) {
          message.arguments.push_back(Tag(TagAnswerClose));
          message.arguments.push_back(LineOf(answer.close));
        }
        Report(answer.open, CheckError, RuleUnclosedAnswer, message);
        reportedEnd = reportedEnd || answer.close == kNoOffset;
      } else if (inside != kNoOffset) {
        Report(inside, CheckError, RuleTagInText, Says(CheckMsgTagInsideAnswer, {Tag(tag)}));
      } else if (answer.close == kNoOffset && !reportedEnd) {
        Report(answer.open, CheckError, RuleUnclosedAnswer,
               Says(CheckMsgAnswerNeverClosed, {Tag(TagAnswerOpen)}));
        reportedEnd = true;
      }
      const std::string_view shown = elements.AnswerText(answer);
      const size_t control = FirstControl(shown);
      if (control != kNoOffset) {
        Report(answer.text + control, CheckWarning, RuleControlCharacter,
               ControlMessage(false, static_cast<unsigned char>(shown[control])));
      }
      if (shown.size() > kLineBufferBytes) {
        Report(answer.text, CheckWarning, RuleLongText,
               Says(CheckMsgAnswerLong, {Count(shown.size()), Count(kLineBufferBytes)}));
      }
    }
  }

  // CheckBetween: what no element takes: answers no key collects, closing tags that close
  // nothing, and other text between the entries.
  void CheckBetween() {
    const size_t readEnd = elements.NeverRead() == kNoOffset ? n : elements.NeverRead();
    const std::vector<AnswerElement>& answers = elements.Answers();
    Extents taken;
    taken.reserve(elements.Walks().size() + answers.size());
    for (const EntryWalk& walk : elements.Walks()) {
      taken.emplace_back(KeyOf(walk).open, elements.ElementEnd(KeyOf(walk)));
    }
    for (size_t i = 0; i < answers.size(); ++i) {
      if (elements.Collected(i))
        taken.emplace_back(answers[i].open, elements.ElementEnd(answers[i]));
    }
    taken = Merged(std::move(taken));
    // Answers that no key collects, outside everything else: each is reported, and taken, once.
    Extents orphans;
    size_t orphanEnd = 0;
    for (size_t i = 0; i < answers.size(); ++i) {
      const AnswerElement& answer = answers[i];
      if (elements.Collected(i) || answer.open >= readEnd || answer.open < orphanEnd ||
          Covers(taken, answer.open)) {
        continue;
      }
      Report(answer.open, CheckError, RuleAnswerWithoutKey,
             Says(CheckMsgAnswerWithoutKey, {Verbatim(Excerpt(elements.AnswerText(answer)))}));
      orphanEnd = elements.ElementEnd(answer);
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
      for (const DictionaryTag tag : {TagKeyClose, TagAnswerClose}) {
        if (closing || at + TagText(tag).size() > end || elements.TagAtOrAfter(tag, at) != at) {
          continue;
        }
        Report(at, CheckError, RuleStrayClose, Says(CheckMsgStrayClose, {Tag(tag)}));
        at += TagText(tag).size();
        closing = true;
      }
      if (closing) continue;
      const char* lf = FindByte(t + at, '\n', t + end);
      size_t textEnd = std::min({lf == nullptr ? end : static_cast<size_t>(lf - t),
                                 elements.TagAtOrAfter(TagKeyClose, at),
                                 elements.TagAtOrAfter(TagAnswerClose, at)});
      if (textEnd <= at) textEnd = at + 1;  // a tag cut by the gap's end: never, but move on
      std::string_view stray = text.Folded(at, textEnd);
      while (!stray.empty() && (stray.back() == '\r' || stray.back() == ' ')) {
        stray.remove_suffix(1);
      }
      Report(at, CheckError, RuleStrayText, Says(CheckMsgStrayText, {Verbatim(Excerpt(stray))}));
      at = textEnd;
    }
  }

  // CheckKeys: each key text judged once, its findings reported at every key that holds it; a
  // lookup searches each text once too, so each is charged once to the turn.
  void CheckKeys() {
    std::unordered_map<std::string, PatternJudgement> judged;
    for (const EntryWalk& walk : elements.Walks()) {
      const std::string keyText(elements.KeyText(KeyOf(walk)));
      const ReservedKey* own = nullptr;
      for (const PromptEntry& prompt : kPrompts) {
        if (keyText == prompt.key->key) own = prompt.key;
      }
      auto found = judged.find(keyText);
      if (found == judged.end()) {
        const CheckText name = Says(CheckMsgKeyNamed, {Verbatim(Excerpt(keyText))});
        found = judged.emplace(keyText, JudgePattern(keyText, name, false, own, options)).first;
        keySteps += std::min(found->second.steps, kLineLookupSteps);
      }
      for (const PatternFinding& finding : found->second.findings) {
        Report(KeyOf(walk).text, finding.severity, finding.rule, finding.message);
      }
    }
    CheckDuplicates();
  }

  // CheckDuplicates: the same answer twice to the same key text, among each key's own answers.
  void CheckDuplicates() {
    const std::vector<EntryWalk>& walks = elements.Walks();
    std::unordered_multimap<uint64_t, std::pair<size_t, size_t>> seen;  // hash -> (walk, answer)
    for (size_t k = 0; k < walks.size(); ++k) {
      const std::string_view key = elements.KeyText(KeyOf(walks[k]));
      const uint64_t keyHash = HashBytes(key.data(), key.size(), 0x6B6579);
      for (size_t a = walks[k].begin; a < walks[k].ownEnd; ++a) {
        const std::string_view answer = elements.AnswerText(Answer(a));
        const uint64_t hash = HashBytes(answer.data(), answer.size(), keyHash);
        bool twice = false;
        for (auto [it, end] = seen.equal_range(hash); it != end && !twice; ++it) {
          const auto [otherKey, otherAnswer] = it->second;
          if (elements.KeyText(KeyOf(walks[otherKey])) == key &&
              elements.AnswerText(Answer(otherAnswer)) == answer) {
            Report(Answer(a).open, CheckNote, RuleDuplicate,
                   Says(CheckMsgDuplicate, {LineOf(Answer(otherAnswer).open)}));
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
    const std::vector<EntryWalk>& walks = elements.Walks();
    for (const PromptEntry& prompt : kPrompts) {
      size_t pooled = 0;
      size_t first = kNoOffset;
      for (size_t k = 0; k < walks.size(); ++k) {
        if (elements.KeyText(KeyOf(walks[k])) != prompt.key->key) continue;
        if (first == kNoOffset) first = k;
        pooled += walks[k].end - walks[k].begin;
        if (prompt.key == &kYesListKey || prompt.key == &kNoListKey) CheckList(prompt, walks[k]);
      }
      if (first == kNoOffset) {
        missingPrompts |= 1u << (&prompt - kPrompts);
      } else if (pooled > 1) {
        Report(KeyOf(walks[first]).text, CheckNote, RulePromptAnswers,
               Says(CheckMsgPromptAnswers,
                    {Verbatim(prompt.key->key), Says(prompt.role), Count(pooled)}));
      }
    }
    // One note names every missing prompt: a new file misses most of them.
    if (missingPrompts != 0) {
      Report(kNoOffset, CheckNote, RulePromptMissing, MissingPromptsNote(missingPrompts).message);
    }
  }

  // CheckList: the answers of a yes/no list entry, read as the classifier reads them; Mimoza's own
  // default lists as it writes them are not judged.
  void CheckList(const PromptEntry& prompt, const EntryWalk& walk) {
    for (size_t a = walk.begin; a < walk.end; ++a) {
      const std::string_view stored = elements.AnswerText(Answer(a));
      if (IsOwnDefaultList(*prompt.key, stored)) continue;
      const size_t start = Answer(a).text;
      if (stored.size() > kMaxListBytes) {
        Report(start, CheckWarning, RuleLongText,
               Says(CheckMsgListLong,
                    {Says(prompt.role), Count(stored.size()), Count(kMaxListBytes)}));
      }
      std::string list(stored.substr(0, std::min<size_t>(stored.size(), kMaxListBytes)));
      list.resize(std::strlen(list.c_str()));
      DropTrailingBar(list.data());
      list.resize(std::strlen(list.c_str()));
      const CheckText name = Says(CheckMsgListNamed, {Says(prompt.role), Verbatim(Excerpt(list))});
      const PatternJudgement judgement = JudgePattern(list, name, true, nullptr, options);
      for (const PatternFinding& finding : judgement.findings) {
        Report(start, finding.severity, finding.rule, finding.message);
      }
      size_t untyped = 0;
      CheckText untypedMessage;
      if (FindUntypedForm(list, &untyped, &untypedMessage)) {
        Report(start + untyped, CheckWarning, RuleUntypedForm, untypedMessage);
      }
      // A reply is searched with both lists, each within a share of its own.
      listSteps += std::min(judgement.steps, kSingleSearchSteps);
    }
  }

  // CheckAnswerLimit: the answers a lookup never reads: past kMaxAnswers of one key's walk, and
  // (a note) past kMaxAnswers of all keys' walks together, which a line matching the keys before
  // them leaves out.
  void CheckAnswerLimit() {
    const auto limit = static_cast<size_t>(kMaxAnswers);
    size_t pooled = 0;
    bool toldFile = false;
    for (const EntryWalk& walk : elements.Walks()) {
      const size_t count = walk.end - walk.begin;
      if (count > limit) {
        Report(Answer(walk.begin + limit).open, CheckWarning, RuleAnswerLimit,
               Says(CheckMsgKeyAnswerLimit, {Verbatim(Excerpt(elements.KeyText(KeyOf(walk)))),
                                             Count(count), Count(limit)}));
      }
      // Until the limit is passed, pooled < limit; the walk that passes it first was told
      // above when it passes it alone.
      if (!toldFile && pooled + count > limit) {
        toldFile = true;
        if (pooled == 0) continue;
        size_t total = 0;
        for (const EntryWalk& each : elements.Walks()) total += each.end - each.begin;
        Report(Answer(walk.begin + (limit - pooled)).open, CheckNote, RuleAnswerLimit,
               Says(CheckMsgFileAnswerLimit, {Count(total), Count(limit)}));
      }
      pooled += count;
    }
  }

  const StoredText& text;
  const char* t;  // the folded text
  size_t n;
  const CheckOptions& options;
  CheckReporter& reporter;
  DictionaryElements elements;  // every tag, element and walk, as the reader finds them
  int64_t keySteps = 0;         // what the keys' searches take on their hard lines, each once
  int64_t listSteps = 0;        // what the yes/no lists' searches take on theirs
  uint32_t missingPrompts = 0;  // CheckFigures::missingPrompts
};

void CheckUnreadable(const StoredFile& file, CheckedFile which, CheckReporter& reporter) {
  reporter.Add(which, kNoOffset, CheckError, RuleUnreadable, [&] {
    return Says(CheckMsgUnreadable, {file.error == EINVAL ? Says(CheckMsgNotRegularFile)
                                                          : Verbatim(std::strerror(file.error))});
  });
}

}  // namespace

int64_t TurnMilliseconds(int64_t steps) {
  return (steps * kTurnMilliseconds + kTurnSteps - 1) / kTurnSteps;
}

CheckDiagnostic MissingPromptsNote(uint32_t missing) {
  CheckDiagnostic note;
  note.rule = RulePromptMissing;
  CheckText named = Says(CheckMsgList);
  for (int32_t i = 0; i < kPromptCount; ++i) {
    if ((missing & (1u << i)) == 0) continue;
    const ReservedKey& key = *kPrompts[i].key;
    named.arguments.push_back(
        Says(CheckMsgPromptNamed, {Verbatim(key.key), Says(kPrompts[i].role)}));
    note.message = Says(CheckMsgPromptMissing,
                        {Verbatim(key.key), Says(kPrompts[i].role),
                         Verbatim(Excerpt(key.defaultText, std::strlen(key.defaultText)))});
  }
  if (named.arguments.size() > 1) {
    note.message = Says(CheckMsgPromptsMissing, {Count(named.arguments.size()), named});
  }
  return note;
}

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
                    const CheckOptions& options, std::vector<CheckDiagnostic>* diagnostics,
                    CheckFigures* figures) {
  CheckFigures ignored;
  if (figures == nullptr) figures = &ignored;
  *figures = CheckFigures{};
  try {
    CheckReporter reporter;
    const StoredText* texts[2] = {nullptr, nullptr};
    std::unique_ptr<StoredText> dictionaryText;
    std::unique_ptr<StoredText> quipText;
    if (!dictionary.present) {
      reporter.Add(CheckedDictionary, kNoOffset, CheckNote, RulePromptMissing,
                   [] { return Says(CheckMsgNoDictionary); });
    } else if (dictionary.error != 0) {
      CheckUnreadable(dictionary, CheckedDictionary, reporter);
    } else {
      dictionaryText = std::make_unique<StoredText>(dictionary.bytes, options.firstLine);
      texts[CheckedDictionary] = dictionaryText.get();
      CheckBytes(*dictionaryText, CheckedDictionary, reporter);
      if (!DictionaryChecker(*dictionaryText, options, reporter).Run(figures)) return false;
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

bool CheckDataFiles(const CheckOptions& options, std::vector<CheckDiagnostic>* diagnostics,
                    CheckFigures* figures) {
  const StoredFile dictionary = ReadStoredFile(kDictionaryFile);
  const StoredFile quips = ReadStoredFile(kQuipFile);
  return CheckDataTexts(dictionary, quips, options, diagnostics, figures);
}

}  // namespace mimoza
