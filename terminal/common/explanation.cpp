// terminal/common/explanation.cpp: what a lookup and a turn told -> the "なぜ" box, the explanation
// event and the report of `mimoza explain`, all in UTF-8.
// Leaves this file: LookupRecorder's and TurnRecorder's members, ExplanationEvent, ExplainReport.
// The formatting helpers (Fraction, Marked, DistinctAnswers, ...) are private.
// Tested by tests/terminal/explain_test.cpp and tests/terminal/program_test.cpp.
#include "terminal/common/explanation.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <numeric>

#include "base/cp932.h"
#include "terminal/common/encoding.h"
#include "terminal/common/json_text.h"
#include "terminal/common/safe_text.h"

namespace mimoza {

// ---- Recording ---------------------------------------------------------------------------------

void LookupRecorder::Clear() {
  keys.clear();
  keysNotKept = 0;
  unsearched.clear();
  unsearchedNotKept = 0;
  answers.clear();
  poolSize = 0;
  drawn = -1;
  lookups = 0;
  answerBytes = 0;
  keyKept = false;
}

void LookupRecorder::LookupStarted() {
  const int32_t started = lookups;
  Clear();
  lookups = started + 1;
}

void LookupRecorder::KeyMatched(const MatchedKey& key) {
  keyKept = keys.size() < kMaxKeys;
  if (!keyKept) {
    ++keysNotKept;
    return;
  }
  Key kept;
  kept.line = key.line;
  kept.text.assign(key.text, key.length);
  kept.spanFound = key.spanFound;
  kept.spanStart = key.spanStart;
  kept.spanEnd = key.spanEnd;
  keys.push_back(std::move(kept));
}

void LookupRecorder::AnswerPooled(const char* text) {
  Answer answer;
  answer.key = keyKept ? static_cast<int32_t>(keys.size()) - 1 : -1;
  size_t length = std::strlen(text);
  if (answerBytes + length > kMaxAnswerBytes && length > kCutAnswerBytes) {
    length = FitLineLength(text, length, kCutAnswerBytes);
    answer.cut = true;
  }
  answer.text.assign(text, length);
  answerBytes += length;
  answers.push_back(std::move(answer));
}

void LookupRecorder::KeyUnsearched(const UnsearchedKey& key) {
  if (unsearched.size() >= kMaxKeys) {
    ++unsearchedNotKept;
    return;
  }
  unsearched.push_back(Unsearched{key.line, std::string(key.text, key.length), key.reason});
}

void LookupRecorder::LookupEnded(int32_t size, int32_t index) {
  poolSize = size;
  drawn = index;
}

void TurnRecorder::TurnStarted(ConversationState theState, const char* theLine) {
  started = true;
  line = theLine;
  state = theState;
  roll = -1;
  quipLines = 0;
  quipDrawn = false;
  quip = QuipPick{};
  response.Clear();
  prompt = nullptr;
  promptPool.Clear();
  branch = BranchAnswered;
  reply = Neither;
  abandoned = false;
}

void TurnRecorder::QuipRolled(int32_t theRoll, int32_t lines) {
  roll = theRoll;
  quipLines = lines;
}

void TurnRecorder::QuipDrawn(const QuipPick& pick) {
  quipDrawn = true;
  quip = pick;
}

void TurnRecorder::PromptStarted(const ReservedKey& key) {
  prompt = &key;
  promptPool.Clear();
}

void TurnRecorder::TurnEnded(TurnBranch theBranch, ReplyKind theReply) {
  branch = theBranch;
  reply = theReply;
}

namespace {

// ---- Formatting --------------------------------------------------------------------------------

// Long pools and key lists are cut in the text reports; the JSON event lists everything kept.
constexpr size_t kMaxListed = kMaxExplainListed;

// Display: code page 932 text as one line of UTF-8 that cannot send commands to a terminal.
std::string Display(std::string_view cp932) { return SanitizeLine(ToUtf8(cp932)); }

std::string Number(int64_t value) { return std::to_string(value); }

// Reduced: num/den in lowest terms (den > 0).
std::pair<int64_t, int64_t> Reduced(int64_t num, int64_t den) {
  const int64_t divisor = std::gcd(num, den);
  return {num / divisor, den / divisor};
}

// Fraction: a chance as "3277/32768 (10.00%)".
std::string Fraction(int64_t num, int64_t den) {
  const auto [n, d] = Reduced(num, den);
  char percent[32];
  std::snprintf(percent, sizeof percent, " (%.2f%%)",
                100.0 * static_cast<double>(num) / static_cast<double>(den));
  return Number(n) + "/" + Number(d) + percent;
}

std::string Where(uint64_t line) {
  return "Dictionary.txt:" + (line == 0 ? std::string("?") : std::to_string(line));
}

// Marked: the subject with the key's match in brackets.
std::string Marked(const std::string& subject, const LookupRecorder::Key& key) {
  if (!key.spanFound || key.spanEnd > subject.size() || key.spanStart > key.spanEnd) {
    return Display(subject) + "  (its search gave up: no span)";
  }
  const std::string_view s(subject);
  return Display(s.substr(0, key.spanStart)) + "[" +
         Display(s.substr(key.spanStart, key.spanEnd - key.spanStart)) + "]" +
         Display(s.substr(key.spanEnd));
}

// CharacterOffset: the characters of the code page 932 text before byte offset; each is one
// character of the UTF-8 text it was converted from.
int64_t CharacterOffset(const std::string& cp932, size_t offset) {
  const auto* s = reinterpret_cast<const unsigned char*>(cp932.c_str());
  int64_t characters = 0;
  for (size_t at = 0; at < offset && at < cp932.size(); at += CharacterLength(s + at)) {
    ++characters;
  }
  return characters;
}

// One distinct text of a pool, with its chance summed over the answers that hold it.
struct Distinct {
  std::string text;  // code page 932
  bool cut = false;
  int64_t odds = 0;
  std::vector<int32_t> keys;  // indexes in the pool's keys of those it comes from (-1: not kept)
  bool drawn = false;
};

// DistinctAnswers: the pool's texts in the order they first occur, each chance from oddsOf(index).
// Cut texts are never merged: two may differ after what was kept.
template <typename OddsOf>
std::vector<Distinct> DistinctAnswers(const LookupRecorder& pool, OddsOf oddsOf) {
  std::vector<Distinct> distinct;
  std::map<std::string, size_t> seen;
  const auto count =
      std::min<size_t>(static_cast<size_t>(std::max(pool.poolSize, 0)), pool.answers.size());
  for (size_t i = 0; i < count; ++i) {
    const LookupRecorder::Answer& answer = pool.answers[i];
    size_t at = distinct.size();
    if (!answer.cut) {
      const auto [found, added] = seen.emplace(answer.text, at);
      if (!added) at = found->second;
    }
    if (at == distinct.size()) distinct.push_back(Distinct{answer.text, answer.cut, 0, {}, false});
    Distinct& entry = distinct[at];
    entry.odds += oddsOf(static_cast<int32_t>(i));
    entry.drawn = entry.drawn || static_cast<int32_t>(i) == pool.drawn;
    if (std::find(entry.keys.begin(), entry.keys.end(), answer.key) == entry.keys.end()) {
      entry.keys.push_back(answer.key);
    }
  }
  return distinct;
}

// Source: where an answer of the pool comes from, with the key's text when withKey.
std::string Source(const LookupRecorder& pool, int32_t key, bool withKey) {
  if (key < 0) return Where(0);
  const LookupRecorder::Key& kept = pool.keys[static_cast<size_t>(key)];
  return Where(kept.line) + (withKey ? " (key " + Display(kept.text) + ")" : "");
}

std::string Sources(const LookupRecorder& pool, const Distinct& entry, bool withKeys) {
  std::string sources;
  for (size_t i = 0; i < entry.keys.size() && i < 8; ++i) {
    sources += (i == 0 ? "" : ", ") + Source(pool, entry.keys[i], withKeys);
  }
  if (entry.keys.size() > 8) sources += ", ...";
  return sources;
}

std::string Shown(const Distinct& entry) { return Display(entry.text) + (entry.cut ? "..." : ""); }

// AppendKeys: one line for each matched key: where it stands, its text, the subject marked.
void AppendKeys(std::string& out, const LookupRecorder& pool, const std::string& subject,
                const char* indent) {
  for (size_t i = 0; i < pool.keys.size() && i < kMaxListed; ++i) {
    const LookupRecorder::Key& key = pool.keys[i];
    out += indent + Where(key.line) + "  key " + Display(key.text) + "  matches " +
           Marked(subject, key) + "\n";
  }
  const size_t more = pool.keys.size() - std::min(pool.keys.size(), kMaxListed) + pool.keysNotKept;
  if (more > 0) out += indent + ("and " + std::to_string(more) + " more keys\n");
}

// UnsearchedReasonText: why a key was not searched to its end, in words and as the JSON event's
// reason.
const char* UnsearchedReasonText(UnsearchedReason reason) {
  return reason == UnsearchedMemory ? "its search needs more memory than one search may take"
                                    : "its share of the turn's work ran out";
}
const char* UnsearchedReasonName(UnsearchedReason reason) {
  return reason == UnsearchedMemory ? "memory" : "steps";
}

// AppendUnsearched: one line for each key the lookup could not search to its end.
void AppendUnsearched(std::string& out, const LookupRecorder& pool, const char* indent) {
  if (pool.unsearched.empty()) return;
  out += indent + std::string("not searched to the end, so counted as not matching:\n");
  for (size_t i = 0; i < pool.unsearched.size() && i < kMaxListed; ++i) {
    const LookupRecorder::Unsearched& key = pool.unsearched[i];
    out += indent + ("  " + Where(key.line)) + "  key " + Display(key.text) + "  " +
           UnsearchedReasonText(key.reason) + "\n";
  }
  const size_t more = pool.unsearched.size() - std::min(pool.unsearched.size(), kMaxListed) +
                      pool.unsearchedNotKept;
  if (more > 0) out += indent + ("  and " + std::to_string(more) + " more keys\n");
}

// QuipShares: "12 lines, each 2730 to 2731 of the 32768 draws".
std::string QuipShares(int32_t lines) {
  int32_t least = kGeneratorOutputs;
  int32_t most = 0;
  int32_t never = 0;
  for (int32_t i = 0; i < lines; ++i) {
    const int32_t share = OutputsGiving(i, lines);
    least = std::min(least, share);
    most = std::max(most, share);
    never += share == 0 ? 1 : 0;
  }
  std::string text = std::to_string(lines) + (lines == 1 ? " line" : " lines") + ", each " +
                     std::to_string(least) + (least == most ? "" : " to " + std::to_string(most)) +
                     " of the " + std::to_string(kGeneratorOutputs) + " draws";
  if (never > 0) text += " (" + std::to_string(never) + " lines can never be drawn)";
  return text;
}

const char* OutcomeName(TurnOutcome outcome) {
  switch (outcome) {
    case OutcomeAnswer:
      return "answer";
    case OutcomeQuip:
      return "quip";
    case OutcomeOffer:
      return "offer";
    case OutcomeClear:
      return "clear";
  }
  return "clear";
}

// AppendPrompt: the pool a prompt is drawn from, each text with the keys it comes from and its
// share of the prompt's draw; a prompt with nothing in the dictionary shows its default.
void AppendPrompt(std::string& out, const ReservedKey& key, const LookupRecorder& pool,
                  const char* indent) {
  const auto distinct =
      DistinctAnswers(pool, [&](int32_t i) { return int64_t{OutputsGiving(i, pool.poolSize)}; });
  for (size_t i = 0; i < distinct.size() && i < kMaxListed; ++i) {
    out += indent + Shown(distinct[i]) + "  " + Fraction(distinct[i].odds, kGeneratorOutputs) +
           "  from " + Sources(pool, distinct[i], true) + "\n";
  }
  if (pool.poolSize == 0) {
    out += indent + Display(key.defaultText) + "  1/1 (100.00%)  the built-in default, " +
           "not in Dictionary.txt: the turn stores it first\n";
  }
}

}  // namespace

// ---- The report of mimoza explain --------------------------------------------------------------

std::string ExplainReport(Dictionary& dictionary, const std::string& line) {
  LookupRecorder pool;
  const LineOdds odds = ExplainLine(dictionary, line.c_str(), pool);
  std::string out = "> " + Display(line) + "\n";
  if (pool.keys.empty() && pool.keysNotKept == 0) out += "  no key matches\n";
  AppendKeys(out, pool, line, "  ");
  AppendUnsearched(out, pool, "  ");
  const auto distinct = DistinctAnswers(pool, [&](int32_t i) { return AnswerOdds(odds, i); });
  for (size_t i = 0; i < distinct.size() && i < kMaxListed; ++i) {
    out += "  answer " + Shown(distinct[i]) + "  " + Fraction(distinct[i].odds, kOddsDenominator) +
           "  from " + Sources(pool, distinct[i], false) + "\n";
  }
  if (distinct.size() > kMaxListed) {
    out += "  and " + std::to_string(distinct.size() - kMaxListed) + " more answers\n";
  }
  if (odds.quipLines == 0) {
    out += "  quip  0/1 (0.00%)  Boke.dat gives none: a roll of " + std::to_string(kQuipRoll) +
           " falls through to the dictionary\n";
  } else {
    out += "  quip  " + Fraction(odds.quip, kOddsDenominator) +
           "  a line of Boke.dat: " + QuipShares(odds.quipLines) + "\n";
  }
  switch (odds.outcome) {
    case OutcomeAnswer:
      out += odds.quipLines > 0 ? "  turn: an answer, or a quip when the first draw rolls " +
                                      std::to_string(kQuipRoll) + "\n"
                                : std::string("  turn: an answer\n");
      break;
    case OutcomeQuip:
      out += "  turn: a quip: the dictionary has nothing for the line\n";
      break;
    case OutcomeOffer: {
      out += "  turn: nothing found: the offer to learn the line, " +
             Fraction(odds.nothing, kOddsDenominator) + ", saying\n";
      LookupRecorder prompt;
      ExplainPrompt(dictionary, kOfferLearnKey, prompt);
      AppendPrompt(out, kOfferLearnKey, prompt, "    ");
      break;
    }
    case OutcomeClear:
      out += "  turn: nothing found: the line is under " + std::to_string(kMinLearnBytes) +
             " bytes, so both lines are cleared, " + Fraction(odds.nothing, kOddsDenominator) +
             "\n";
      break;
  }
  return out;
}

// ---- The "なぜ" box ----------------------------------------------------------------------------

std::string TurnRecorder::Describe() const {
  if (!started) return {};
  static const char* const kStates[] = {"idle", "awaiting consent", "awaiting the answer"};
  std::string out = "> " + Display(line) + "\n";
  if (abandoned) {
    return out +
           "abandoned: nothing was shown or stored, and the dialogue is as it was before "
           "the line\n";
  }
  out += std::string("state: ") + kStates[state] + "\n";
  out += "quip roll: " + std::to_string(roll) + " (" + std::to_string(kQuipRoll) +
         " asks for a quip: " + Fraction(QuipRollOutputs(), kGeneratorOutputs) + "); Boke.dat: " +
         (quipLines > 0 ? std::to_string(quipLines) + " lines" : std::string("no quip")) + "\n";
  if (response.keys.empty() && response.keysNotKept == 0) {
    out += "no key matches\n";
  } else {
    out += "keys that match:\n";
    AppendKeys(out, response, line, "  ");
  }
  AppendUnsearched(out, response, "");
  const LineOdds odds = LineOddsFor(response.poolSize, quipLines, line.size());
  if (response.poolSize > 0) {
    out += "pool of " + std::to_string(response.poolSize) +
           (quipDrawn ? " (not drawn from: the quip took the turn):\n" : ":\n");
    const size_t listed = std::min<size_t>(response.answers.size(), kMaxListed);
    for (size_t i = 0; i < listed && i < static_cast<size_t>(response.poolSize); ++i) {
      const LookupRecorder::Answer& answer = response.answers[i];
      out += "  " + std::to_string(i + 1) + ". " +
             (static_cast<int32_t>(i) == response.drawn ? "(drawn) " : "") + Display(answer.text) +
             "  " + Source(response, answer.key, false) + "\n";
    }
    if (static_cast<size_t>(response.poolSize) > listed) {
      out += "  and " + std::to_string(static_cast<size_t>(response.poolSize) - listed) +
             " more answers\n";
    }
  }
  if (quipDrawn) {
    out += "drawn: Boke.dat:" + std::to_string(quip.line) + " (one of " +
           std::to_string(quip.lines) + " lines), " +
           Fraction(QuipLineOdds(odds, quip.line), kOddsDenominator) + "\n";
  } else if (response.drawn >= 0) {
    const auto& answer = response.answers[static_cast<size_t>(response.drawn)];
    out += "drawn: answer " + std::to_string(response.drawn + 1) + " of " +
           std::to_string(response.poolSize) + " (" + Source(response, answer.key, false) + "), " +
           Fraction(AnswerOdds(odds, response.drawn), kOddsDenominator) + "\n";
  } else {
    out += "drawn: nothing: neither the dictionary nor Boke.dat gave a text\n";
  }
  static const char* const kReplies[] = {"neither list: consent", "Yes", "No"};
  switch (branch) {
    case BranchAnswered:
      out += "shown: what was drawn\n";
      break;
    case BranchCleared:
      out += "shown: nothing: the line is under " + std::to_string(kMinLearnBytes) +
             " bytes, so both lines are cleared\n";
      break;
    case BranchOfferLearn:
      out += "shown: the offer to learn the line, <SMES1>\n";
      break;
    case BranchOfferAdd:
      out +=
          "shown: Ctrl was held on a line with a response: the offer to add an answer, "
          "<SMES4>\n";
      break;
    case BranchRefused:
      out += std::string("reply: ") + kReplies[reply] +
             "\nshown: nothing: the response line is cleared (a click shows what was drawn)\n";
      break;
    case BranchAskAnswer:
      out += std::string("reply: ") + kReplies[reply] + "\nshown: the question, <SMES2>\n";
      break;
    case BranchLearned:
      out += "stored: the pair; shown: <SMES3>\n";
      break;
    case BranchNotStored:
      out += "shown: nothing: the pair could not be stored\n";
      break;
  }
  if (prompt != nullptr) {
    out += std::string("prompt ") + prompt->key + ", a pool of " +
           std::to_string(promptPool.poolSize) + ":\n";
    if (promptPool.lookups > 1 && promptPool.poolSize > 0) {
      out += "  (nothing was there: its default was stored first)\n";
    }
    AppendUnsearched(out, promptPool, "  ");
    if (promptPool.poolSize == 0) {
      out += "  none could be had: its built-in default " + Display(prompt->defaultText) +
             " is shown, as Dictionary.txt cannot take it (or what was drawn, when the file "
             "cannot be read)\n";
    } else {
      for (size_t i = 0; i < promptPool.answers.size() && i < kMaxListed; ++i) {
        const auto& answer = promptPool.answers[i];
        out += "  " + std::to_string(i + 1) + ". " +
               (static_cast<int32_t>(i) == promptPool.drawn ? "(drawn) " : "") +
               Display(answer.text) + "  " + Source(promptPool, answer.key, true) + "  " +
               Fraction(OutputsGiving(static_cast<int32_t>(i), promptPool.poolSize),
                        kGeneratorOutputs) +
               "\n";
      }
    }
  }
  return out;
}

// ---- The JSON-lines event ----------------------------------------------------------------------

std::string ExplanationEvent(Conversation& conversation, std::string_view utf8) {
  const std::string line = PrepareLine(utf8);
  if (line.empty()) return {};
  LookupRecorder pool;
  const LineOdds odds = conversation.ExplainLine(line.c_str(), pool);
  const auto appendOdds = [](std::string& out, int64_t num, int64_t den) {
    const auto [n, d] = Reduced(num, den);
    out += "[" + Number(n) + "," + Number(d) + "]";
  };
  std::string event = "{\"event\":\"explanation\",\"line\":";
  // The line as it was explained (converted, cut), so the event is valid UTF-8 and the spans
  // count its characters.
  AppendJsonString(event, ToUtf8(line));
  event += ",\"keys\":[";
  for (size_t i = 0; i < pool.keys.size(); ++i) {
    const LookupRecorder::Key& key = pool.keys[i];
    event += (i == 0 ? "{\"line\":" : ",{\"line\":") + std::to_string(key.line) + ",\"key\":";
    AppendJsonString(event, ToUtf8(key.text));
    if (key.spanFound) {
      event += ",\"span\":[" + Number(CharacterOffset(line, key.spanStart)) + "," +
               Number(CharacterOffset(line, key.spanEnd)) + "]}";
    } else {
      event += ",\"span\":null}";
    }
  }
  event += "]";
  // The keys not searched to their end, only when there are some.
  for (size_t i = 0; i < pool.unsearched.size(); ++i) {
    event += (i == 0 ? ",\"unsearched\":[{\"line\":" : ",{\"line\":") +
             std::to_string(pool.unsearched[i].line) + ",\"reason\":\"" +
             UnsearchedReasonName(pool.unsearched[i].reason) + "\"}";
  }
  if (!pool.unsearched.empty()) event += "]";
  event += ",\"answers\":[";
  const auto distinct = DistinctAnswers(pool, [&](int32_t i) { return AnswerOdds(odds, i); });
  for (size_t i = 0; i < distinct.size(); ++i) {
    event += i == 0 ? "{\"text\":" : ",{\"text\":";
    AppendJsonString(event, ToUtf8(distinct[i].text));
    event += ",\"odds\":";
    appendOdds(event, distinct[i].odds, kOddsDenominator);
    event += "}";
  }
  event += "],\"quip\":{\"odds\":";
  appendOdds(event, odds.quip, kOddsDenominator);
  event += std::string(",\"available\":") + (odds.quipLines > 0 ? "true" : "false") +
           "},\"outcome\":\"" + OutcomeName(odds.outcome) + "\"}";
  return event;
}

}  // namespace mimoza
