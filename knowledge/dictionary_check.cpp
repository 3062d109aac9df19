// knowledge/dictionary_check.cpp: Dictionary.txt and Boke.dat as stored -> diagnostics.
// Leaves this file: ReadStoredFile, CheckDataTexts, CheckDataFiles. StoredText, Reporter,
// DictionaryChecker, JudgePattern and CheckQuips are private.
// Tested by tests/knowledge/dictionary_check_test.cpp; fuzzed by fuzz/dictionary_check_fuzz.cpp;
// measured by bench/check_bench.cpp.
//
// The dictionary is read the way every lookup reads it: folded (0x1A dropped, CR LF -> LF), its
// key elements found one after the other from the end of the last ("<KEY", the first ">", the
// first "</KEY>"), and each key's answers walked as a lookup walks them when the key matches:
// from the first "<ANS>" after the key, each "<ANS>" in turn, until an exact "<KEY>" stands
// between an answer's "</ANS>" and the next "<ANS>". Whatever that reading does not take as the
// file looks meant (a key or an answer running on over tags, tags and text it never reads) is a
// structure diagnostic. Every key is then judged by the matcher itself (pattern/inspect.cpp): the
// key text as a lookup cuts it, compiled, inspected and searched.
#include "knowledge/dictionary_check.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string_view>
#include <unordered_map>

#include "knowledge/knowledge_internal.h"
#include "knowledge/text_file.h"
#include "pattern/pattern.h"

namespace mimoza {
namespace {

constexpr size_t kNone = SIZE_MAX;
// A rule reports this many places in a file; a file broken everywhere (a binary file, a file
// saved as UTF-8) would otherwise bury the first, most useful ones.
constexpr uint32_t kMaxPerRule = 100;
// Texts are quoted in messages up to this many bytes.
constexpr size_t kExcerptBytes = 40;

// ---- Texts in messages -----------------------------------------------------------------------

// Excerpt: text[0, length) quoted for a message: whole characters up to kExcerptBytes, every
// byte that is no printable character written as \xHH, "..." when cut. Always code page 932.
std::string Excerpt(const char* text, size_t length) {
  std::string out = "\"";
  const auto* t = reinterpret_cast<const unsigned char*>(text);
  for (size_t at = 0; at < length;) {
    if (at >= kExcerptBytes) {
      out += "...";
      break;
    }
    const unsigned char c = t[at];
    if (IsLeadByte(c) && at + 1 < length && t[at + 1] >= 0x40 && t[at + 1] <= 0xFC &&
        t[at + 1] != 0x7F) {
      out.append(text + at, 2);
      at += 2;
      continue;
    }
    if ((c >= 0x20 && c < 0x7F) || (c >= 0xA1 && c <= 0xDF)) {
      out += static_cast<char>(c);
    } else {
      const char kHex[] = "0123456789ABCDEF";
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
    ++at;
  }
  return out + "\"";
}

std::string Excerpt(std::string_view text) { return Excerpt(text.data(), text.size()); }

std::string Hex(unsigned char c) {
  const char kHex[] = "0123456789ABCDEF";
  return std::string("0x") + kHex[c >> 4] + kHex[c & 15];
}

// ---- Positions ---------------------------------------------------------------------------------

// StoredText: a file's bytes as stored and as every read sees them (folded), the way back from a
// folded offset to the stored one, and the stored file's lines.
class StoredText {
 public:
  explicit StoredText(const std::string& stored) : raw(stored), folded(stored) {
    folded.resize(FoldTextLineEnds(folded.data(), folded.size()));
    // Folding only drops bytes (0x1A, and a CR before an LF), so each folded byte is the next
    // stored byte equal to it: a dropped byte never equals the folded byte it stands before.
    size_t j = 0;
    for (size_t i = 0; i < folded.size(); ++i, ++j) {
      for (; j < raw.size() && raw[j] != folded[i]; ++j) dropped.push_back(i);
    }
    for (; j < raw.size(); ++j) dropped.push_back(folded.size());
    for (size_t at = raw.find('\n'); at != std::string::npos; at = raw.find('\n', at + 1)) {
      lineFeeds.push_back(at);
    }
  }

  const char* Text() const { return folded.data(); }
  size_t Length() const { return folded.size(); }
  std::string_view Folded(size_t begin, size_t end) const {
    return std::string_view(folded).substr(begin, end - begin);
  }
  const std::string& Raw() const { return raw; }
  // Stored: the stored offset of the folded byte at (of the end for Length()).
  size_t Stored(size_t at) const {
    return at + static_cast<size_t>(std::upper_bound(dropped.begin(), dropped.end(), at) -
                                    dropped.begin());
  }
  // LineOf: the 1-based line of a stored offset.
  uint32_t LineOf(size_t stored) const {
    return 1 + static_cast<uint32_t>(std::lower_bound(lineFeeds.begin(), lineFeeds.end(), stored) -
                                     lineFeeds.begin());
  }
  uint32_t FoldedLine(size_t at) const { return LineOf(Stored(at)); }
  // LineStart: the stored offset where a line (1-based) begins.
  size_t LineStart(uint32_t line) const { return line <= 1 ? 0 : lineFeeds[line - 2] + 1; }

 private:
  const std::string& raw;
  std::string folded;
  std::vector<size_t> dropped;    // the folded offset each dropped byte stood before, ascending
  std::vector<size_t> lineFeeds;  // stored offset of every LF
};

// ---- Collecting diagnostics --------------------------------------------------------------------

struct Found {
  CheckedFile file;
  CheckSeverity severity;
  CheckRule rule;
  size_t stored;  // stored offset; kNone: the file as a whole
  std::string message;
};

class Reporter {
 public:
  // Add: a diagnostic at a stored offset (kNone: the whole file); message() makes its text,
  // called only while the rule has room left.
  template <typename Message>
  void Add(CheckedFile file, size_t stored, CheckSeverity severity, CheckRule rule,
           Message message) {
    if (++counts[file][rule] > kMaxPerRule) return;
    found.push_back(Found{file, severity, rule, stored, message()});
  }

  // Finish: the notes on what was left out, then every diagnostic in file and position order
  // (those on the whole file after the rest), its stored offset made a line and a column.
  void Finish(const StoredText* texts[2], std::vector<CheckDiagnostic>* out) {
    for (int32_t file = 0; file < 2; ++file) {
      for (int32_t rule = 0; rule < RuleCount; ++rule) {
        const uint32_t more =
            counts[file][rule] > kMaxPerRule ? counts[file][rule] - kMaxPerRule : 0;
        if (more == 0) continue;
        found.push_back(Found{static_cast<CheckedFile>(file), CheckNote,
                              static_cast<CheckRule>(rule), kNone,
                              std::to_string(more) + " more places like this are not shown"});
      }
    }
    std::stable_sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
      if (a.file != b.file) return a.file < b.file;
      return a.stored < b.stored;  // what concerns the whole file (kNone) comes last
    });
    // The columns of one file in one sweep: positions only grow.
    uint32_t line = 0;
    size_t cursor = 0;
    uint32_t column = 1;
    CheckedFile current = CheckedDictionary;
    for (Found& f : found) {
      CheckDiagnostic d;
      d.file = f.file;
      d.severity = f.severity;
      d.rule = f.rule;
      d.message = std::move(f.message);
      const StoredText* text = texts[f.file];
      if (f.file != current) {
        current = f.file;
        line = 0;
      }
      if (f.stored != kNone && text != nullptr) {
        const std::string& raw = text->Raw();
        const size_t at = std::min(f.stored, raw.size());
        const uint32_t atLine = text->LineOf(at);
        if (atLine != line || at < cursor) {
          line = atLine;
          cursor = text->LineStart(line);
          column = 1;
        }
        while (cursor < at) {
          const bool pair = IsLeadByte(static_cast<unsigned char>(raw[cursor])) &&
                            cursor + 1 < raw.size() && raw[cursor + 1] != '\n';
          cursor += pair ? 2 : 1;
          ++column;
        }
        d.line = line;
        d.column = column;
      }
      out->push_back(std::move(d));
    }
  }

 private:
  std::vector<Found> found;
  uint32_t counts[2][RuleCount] = {};
};

// ---- What the bytes say (both files) -----------------------------------------------------------

// CheckBytes: bytes that are no code page 932 character, and the 0x1A end marks.
void CheckBytes(const StoredText& text, CheckedFile file, Reporter& reporter) {
  const std::string& raw = text.Raw();
  const auto* t = reinterpret_cast<const unsigned char*>(raw.data());
  const size_t n = raw.size();
  size_t endMarks = 0;
  size_t firstMark = kNone;
  for (size_t at = 0; at < n;) {
    const unsigned char c = t[at];
    if (c == 0x1A) {
      if (endMarks++ == 0) firstMark = at;
      ++at;
      continue;
    }
    if (IsLeadByte(c)) {
      const bool paired = at + 1 < n && t[at + 1] >= 0x40 && t[at + 1] <= 0xFC && t[at + 1] != 0x7F;
      if (paired) {
        at += 2;
        continue;
      }
      reporter.Add(file, at, CheckWarning, RuleNotCp932, [&] {
        if (at + 1 >= n || t[at + 1] == '\r' || t[at + 1] == '\n') {
          return "byte " + Hex(c) +
                 " leads a two-byte character, but the line ends: not code "
                 "page 932";
        }
        return "byte " + Hex(c) + " leads a two-byte character, but " + Hex(t[at + 1]) +
               " cannot follow it: not code page 932";
      });
      ++at;
      continue;
    }
    if (c == 0x80 || c == 0xA0 || c >= 0xFD) {
      reporter.Add(file, at, CheckWarning, RuleNotCp932,
                   [&] { return "byte " + Hex(c) + " is no code page 932 character"; });
    }
    ++at;
  }
  if (endMarks > 0) {
    reporter.Add(file, firstMark, CheckWarning, RuleEndMark, [&] {
      std::string message =
          "a 0x1A byte (the end mark some old editors leave) is dropped when the file is read; "
          "the " +
          std::to_string(n - firstMark - 1) + " bytes after it are read as usual";
      if (endMarks > 1) message += " (" + std::to_string(endMarks) + " such bytes in the file)";
      return message;
    });
  }
}

// FirstControl: the offset in text of the first control character that shows as a replacement
// mark (C0 but tab, line feed and carriage return, which show as blanks or breaks, and DEL), or
// kNone.
size_t FirstControl(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F) return i;
  }
  return kNone;
}

std::string ControlMessage(const char* what, unsigned char c) {
  if (c == 0) return std::string(what) + " holds a NUL byte: it is shown only up to it";
  return std::string(what) + " holds the control character " + Hex(c) +
         ", which is shown as a replacement mark";
}

// ---- Keys and lists ----------------------------------------------------------------------------

struct Finding {
  CheckSeverity severity;
  CheckRule rule;
  std::string message;
};

// The prompts, in the order of their keys' numbers; the title is looked up as an exact key, the
// others as patterns, so only they can be taken over by another key.
struct Prompt {
  const ReservedKey* key;
  const char* role;
  bool exact;
};
const Prompt kPrompts[] = {
    {&kTitleKey, "the window title", true},
    {&kOfferLearnKey, "the offer to learn a line", false},
    {&kAskAnswerKey, "the question what to answer", false},
    {&kLearnedKey, "the word that a pair was learned", false},
    {&kOfferAddKey, "the offer to add an answer", false},
    {&kYesListKey, "the yes list", false},
    {&kNoListKey, "the no list", false},
};

std::string FailureReason(const PatternInspection& inspection) {
  switch (inspection.failure) {
    case CompileTooManyNodes:
      return "it compiles to nothing: its syntax tree, every copy of a counted repeat included, "
             "passes the bound of " +
             std::to_string(inspection.bound) + " nodes";
    case CompileTooManyStates:
      return "it compiles to nothing: its automaton passes the bound of " +
             std::to_string(inspection.bound) + " states";
    case CompileOutOfMemory:
      return "memory ran out while it was compiled";
    case CompileOk:
      break;
  }
  return "no text can get through it (an anchor where it cannot hold, as in \"a^b\", a repeat "
         "of nothing, as in \"+a\", or an empty class)";
}

// JudgePattern: the findings on a pattern: a key (name "the key \"...\"", ownPrompt the prompt
// it is the entry of, or null) or a yes/no list (isList).
std::vector<Finding> JudgePattern(const std::string& text, const std::string& name, bool isList,
                                  const ReservedKey* ownPrompt, const CheckOptions& options) {
  std::vector<Finding> findings;
  const char* what = isList ? "list" : "key";
  auto matchedPrompts = [&](auto matches) {
    std::string prompts;
    const Prompt* only = nullptr;
    int32_t count = 0;
    for (const Prompt& prompt : kPrompts) {
      if (prompt.exact || prompt.key == ownPrompt || !matches(prompt.key->key)) continue;
      prompts += (count++ == 0 ? "\"" : ", \"") + std::string(prompt.key->key) + "\"";
      only = &prompt;
    }
    if (count == 0 || isList) return;
    findings.push_back(
        {CheckError, RulePromptText,
         count == 1 ? name + " matches the prompt key " + prompts + " (" + only->role +
                          "): its answers join that prompt's and can be drawn in its place"
                    : name + " matches the prompt keys " + prompts +
                          ": its answers join those prompts' and can be drawn in their place"});
  };
  if (IsPlainPattern(text.data(), text.size())) {
    matchedPrompts([&](const char* subject) { return std::strstr(subject, text.c_str()); });
    return findings;
  }
  PatternInspection inspection;
  const PatternPtr pattern = InspectPattern(text.c_str(), &inspection);
  if (pattern == nullptr || !inspection.canMatch) {
    findings.push_back(
        {CheckError, RuleNeverMatches, name + " never matches: " + FailureReason(inspection)});
    return findings;
  }
  if (inspection.matchesEmpty) {
    findings.push_back(
        {CheckError, RuleMatchesEveryLine,
         name + " matches every line: it matches the empty text at the first position" +
             (isList
                  ? std::string(", so every reply counts")
                  : std::string(", so its answers join every response, the prompts' included"))});
  } else {
    matchedPrompts([&](const char* subject) { return PatternFound(pattern.get(), subject); });
  }
  if (inspection.lineStartSpreads) {
    findings.push_back({CheckWarning, RuleAnchorAlternative,
                        std::string("a \"^\" in one alternative of ") + name +
                            " anchors the whole " + what +
                            ": every alternative then matches only at the start of a line"});
  }
  if (inspection.lineEndSpreads) {
    findings.push_back({CheckWarning, RuleAnchorAlternative,
                        std::string("a \"$\" in one alternative of ") + name +
                            " anchors the whole " + what +
                            ": every alternative then matches only at the end of a line"});
  }
  const SearchCost cost = HardLineCost(pattern.get(), options.hardLineBytes, kSlowKeySteps);
  const std::string line =
      "a " + std::to_string(options.hardLineBytes) + "-byte line of " +
      (cost.repeated[0] != '\0' ? Excerpt(cost.repeated, std::strlen(cost.repeated))
                                : std::string("its own characters"));
  if (cost.gaveUp) {
    findings.push_back({CheckWarning, RuleSearchBudget,
                        name + " runs out of the search's budget on " + line + " (after " +
                            std::to_string(cost.steps) +
                            " steps): on such lines it counts as not matching"});
  } else if (cost.steps > kSlowKeySteps) {
    findings.push_back({CheckWarning, RuleSlowKey,
                        name + " is slow: its search of " + line + " takes " +
                            std::to_string(cost.steps) + " steps (more than " +
                            std::to_string(kSlowKeySteps) + "; a usual key takes a few hundred)"});
  }
  return findings;
}

// ---- Dictionary.txt ----------------------------------------------------------------------------

struct KeyElement {
  size_t open;   // "<KEY"
  size_t text;   // just after the first ">" after it
  size_t close;  // its "</KEY>"
  size_t after;  // just after the "</KEY>"
};

struct AnswerElement {
  size_t open;   // "<ANS>"
  size_t close;  // the first "</ANS>" after its text, or kNone
  bool stop;     // a lookup's answer walk ends with this answer
};

// FirstAtOrAfter: the index of the first position at or after at in a sorted table.
size_t FirstAtOrAfter(const std::vector<size_t>& positions, size_t at) {
  return static_cast<size_t>(std::lower_bound(positions.begin(), positions.end(), at) -
                             positions.begin());
}

size_t PositionAtOrAfter(const std::vector<size_t>& positions, size_t at) {
  const size_t i = FirstAtOrAfter(positions, at);
  return i < positions.size() ? positions[i] : kNone;
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
  auto after = std::upper_bound(merged.begin(), merged.end(), std::make_pair(at, kNone));
  return after != merged.begin() && (after - 1)->second > at;
}

class DictionaryChecker {
 public:
  DictionaryChecker(const StoredText& stored, const CheckOptions& checkOptions, Reporter& out)
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
    reporter.Add(CheckedDictionary, at == kNone ? kNone : text.Stored(at), severity, rule,
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
    return answer.close == kNone ? n : answer.close;
  }
  std::string_view AnswerText(const AnswerElement& answer) const {
    return text.Folded(answer.open + kAnswerOpenTag.size(), AnswerEnd(answer));
  }
  size_t AnswerExtentEnd(const AnswerElement& answer) const {
    return answer.close == kNone ? n : answer.close + kAnswerCloseTag.size();
  }
  // FirstTagIn: the first tag in [begin, end) and its text, or kNone.
  size_t FirstTagIn(size_t begin, size_t end, std::string_view* tag) const {
    size_t first = kNone;
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
      if (open == kNone) return;
      const char* gt = FindByte(t + open + kKeyOpenTag.size(), '>', t + n);
      const size_t close =
          gt == nullptr ? kNone : PositionAtOrAfter(keyCloses, static_cast<size_t>(gt - t) + 1);
      if (close == kNone) {
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
      bool stop = close == kNone;
      if (!stop) {
        const size_t nextOpen = PositionAtOrAfter(answerOpens, close);
        stop = nextOpen == kNone || FindBytes(t + close, kExactKeyTag.data(), kExactKeyTag.size(),
                                              t + nextOpen) != nullptr;
      }
      answers.push_back({open, close, stop});
    }
  }

  // WalkAnswers: for each key, the run of answers a lookup collects when it matches (walkBegin,
  // walkEnd) and those that stand before the next key (its own, up to ownEnd); which answers
  // some walk collects at all.
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
      if (inside != kNone && LineEndIn(key.text, inside)) {
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
      } else if (inside != kNone) {
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
    if (neverRead != kNone) {
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
          answer.close == kNone
              ? "the answer runs to the end of the file"
              : "the answer runs on to the \"</ANS>\" on line " + LineOf(answer.close);
      if (inside != kNone && LineEndIn(start, inside)) {
        Report(answer.open, CheckError, RuleUnclosedAnswer,
               "\"<ANS>\" is not closed before the \"" + std::string(tag) + "\" on line " +
                   LineOf(inside) + ": " + runsTo + ", taking everything in between as its text");
        reportedEnd = reportedEnd || answer.close == kNone;
      } else if (inside != kNone) {
        Report(inside, CheckError, RuleTagInText,
               "the answer holds the tag \"" + std::string(tag) +
                   "\": a dictionary text cannot hold a tag, and this one shifts what a lookup "
                   "reads");
      } else if (answer.close == kNone && !reportedEnd) {
        Report(answer.open, CheckError, RuleUnclosedAnswer, "\"<ANS>\" is never closed: " + runsTo);
        reportedEnd = true;
      }
      const std::string_view shown = AnswerText(answer);
      const size_t control = FirstControl(shown);
      if (control != kNone) {
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
    const size_t readEnd = neverRead == kNone ? n : neverRead;
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
      const size_t textEnd =
          std::min({lf == nullptr ? end : static_cast<size_t>(lf - t),
                    PositionAtOrAfter(keyCloses, at), PositionAtOrAfter(answerCloses, at)});
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
    std::unordered_map<std::string, std::vector<Finding>> judged;
    for (const KeyElement& key : keys) {
      const std::string keyText(KeyText(key));
      const ReservedKey* own = nullptr;
      for (const Prompt& prompt : kPrompts) {
        if (keyText == prompt.key->key) own = prompt.key;
      }
      auto found = judged.find(keyText);
      if (found == judged.end()) {
        found = judged
                    .emplace(keyText, JudgePattern(keyText, "the key " + Excerpt(keyText), false,
                                                   own, options))
                    .first;
      }
      for (const Finding& finding : found->second) {
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
    for (const Prompt& prompt : kPrompts) {
      size_t pooled = 0;
      size_t first = kNone;
      for (size_t k = 0; k < keys.size(); ++k) {
        if (KeyText(keys[k]) != prompt.key->key) continue;
        if (first == kNone) first = k;
        pooled += walks[k].end - walks[k].begin;
        if (prompt.key == &kYesListKey || prompt.key == &kNoListKey) CheckList(prompt, walks[k]);
      }
      if (first == kNone) {
        Report(kNone, CheckNote, RulePromptMissing,
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
  void CheckList(const Prompt& prompt, const Walk& walk) {
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
      for (const Finding& finding : JudgePattern(
               list, std::string(prompt.role) + " " + Excerpt(list), true, nullptr, options)) {
        Report(start, finding.severity, finding.rule, finding.message);
      }
    }
  }

  const StoredText& text;
  const char* t;  // the folded text
  size_t n;
  const CheckOptions& options;
  Reporter& reporter;
  std::vector<size_t> keyOpens;  // "<KEY", every one
  std::vector<size_t> keyCloses;
  std::vector<size_t> answerOpens;
  std::vector<size_t> answerCloses;
  std::vector<KeyElement> keys;  // as a lookup finds them
  size_t neverRead = kNone;      // the "<KEY" that completes no element: nothing after is read
  std::vector<AnswerElement> answers;  // one per "<ANS>"
  std::vector<Walk> walks;             // one per key
  std::vector<bool> collected;         // per answer: some key's walk collects it
};

// ---- Boke.dat ----------------------------------------------------------------------------------

void CheckQuips(const StoredText& text, Reporter& reporter) {
  const char* t = text.Text();
  const size_t n = text.Length();
  const auto report = [&](size_t at, CheckSeverity severity, CheckRule rule, std::string message) {
    reporter.Add(CheckedQuips, at == kNone ? kNone : text.Stored(at), severity, rule,
                 [&] { return message; });
  };
  if (n > 0 && std::memchr(t, '\n', n) == nullptr) {
    const bool crs = std::memchr(t, '\r', n) != nullptr;
    report(0, CheckWarning, RuleQuipNoLineEnd,
           "Boke.dat has no line end" +
               std::string(crs ? " (its lines end in a CR alone, which is no line end here)" : "") +
               ": it is one quip of " + std::to_string(n) + " bytes");
  }
  size_t lines = 0;
  for (size_t at = 0; at < n;) {
    const char* lf = FindByte(t + at, '\n', t + n);
    const size_t end = lf == nullptr ? n : static_cast<size_t>(lf - t);
    const size_t withLineEnd = end - at + (lf != nullptr ? 1 : 0);
    if (++lines == kMaxQuipLines + 1) {
      size_t total = lines;
      for (const char* more = lf; more != nullptr; more = FindByte(more + 1, '\n', t + n)) {
        if (more + 1 < t + n) ++total;
      }
      report(at, CheckWarning, RuleQuipLines,
             "Boke.dat has " + std::to_string(total) + " lines: only the first " +
                 std::to_string(kMaxQuipLines) +
                 " are read, and those from here on are never drawn");
      break;
    }
    const std::string_view line(t + at, end - at);
    if (line.empty()) {
      report(at, CheckNote, RuleQuipEmptyLine, "an empty line is drawn as an empty response");
    }
    const size_t control = FirstControl(line);
    if (control != kNone) {
      report(at + control, CheckWarning, RuleControlCharacter,
             ControlMessage("the quip", static_cast<unsigned char>(line[control])));
    }
    if (withLineEnd > kLineBufferBytes) {
      report(at, CheckWarning, RuleQuipCut,
             "the quip is " + std::to_string(line.size()) + " bytes long: only its first " +
                 std::to_string(kLineBufferBytes) + " bytes are shown");
    }
    at = end + 1;
  }
}

void CheckUnreadable(const StoredFile& file, CheckedFile which, Reporter& reporter) {
  reporter.Add(which, kNone, CheckError, RuleUnreadable, [&] {
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
  } catch (const std::bad_alloc&) {
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
    Reporter reporter;
    const StoredText* texts[2] = {nullptr, nullptr};
    std::unique_ptr<StoredText> dictionaryText;
    std::unique_ptr<StoredText> quipText;
    if (!dictionary.present) {
      reporter.Add(CheckedDictionary, kNone, CheckNote, RulePromptMissing, [] {
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
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool CheckDataFiles(const CheckOptions& options, std::vector<CheckDiagnostic>* diagnostics) {
  const StoredFile dictionary = ReadStoredFile("Dictionary.txt");
  const StoredFile quips = ReadStoredFile("Boke.dat");
  return CheckDataTexts(dictionary, quips, options, diagnostics);
}

}  // namespace mimoza
