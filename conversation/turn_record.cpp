// conversation/turn_record.cpp: what a lookup and a turn told -> their record, and the record ->
// the words of the why box and window and of `mimoza explain`, from the message table.
// Leaves this file: LookupRecorder's and TurnRecorder's members, DistinctAnswers,
// ReducedFraction, OneLine, DescribeTurn, ExplainReport. The formatting helpers (Fraction,
// Where, Marked, Sources, ...) are private.
// Tested by tests/terminal/explain_test.cpp, tests/conversation/messages_test.cpp and
// tests/terminal/program_test.cpp.
#include "conversation/turn_record.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <numeric>

#include "base/cp932.h"

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

void LookupRecorder::AnswerPooled(const char* text, uint64_t line) {
  Answer answer;
  answer.line = line;
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

// ---- The pool's texts ------------------------------------------------------------------------

std::vector<PoolText> DistinctAnswers(const LookupRecorder& pool,
                                      const std::function<int64_t(int32_t)>& oddsOf) {
  std::vector<PoolText> distinct;
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
    if (at == distinct.size()) distinct.push_back(PoolText{answer.text, answer.cut, 0, {}, false});
    PoolText& entry = distinct[at];
    entry.odds += oddsOf(static_cast<int32_t>(i));
    entry.drawn = entry.drawn || static_cast<int32_t>(i) == pool.drawn;
    const bool known = std::any_of(entry.sources.begin(), entry.sources.end(), [&](auto& source) {
      return source.line == answer.line && source.key == answer.key;
    });
    if (!known) entry.sources.push_back(PoolSource{answer.line, answer.key});
  }
  return distinct;
}

std::pair<int64_t, int64_t> ReducedFraction(int64_t num, int64_t den) {
  const int64_t divisor = std::gcd(num, den);
  return {num / divisor, den / divisor};
}

std::string OneLine(std::string_view cp932) {
  if (!cp932.empty() && cp932.back() == '\n') cp932.remove_suffix(1);
  if (!cp932.empty() && cp932.back() == '\r') cp932.remove_suffix(1);
  std::string out;
  out.reserve(cp932.size());
  bool leadLast = false;  // the last character is a lead byte on its own
  for (size_t at = 0; at < cp932.size();) {
    const size_t length = ValidCharacterLength(cp932.data(), at, cp932.size());
    const char c = cp932[at];
    leadLast = length == 1 && IsLeadByte(static_cast<unsigned char>(c));
    if (length == 2) {
      out.append(cp932.data() + at, 2);
    } else if (c == '\r' && at + 1 < cp932.size() && cp932[at + 1] == '\n') {
      // one break: the LF after it makes the space
    } else {
      out += c == '\n' || c == '\r' || c == '\t' ? ' ' : c;
    }
    at += length;
  }
  if (leadLast) out.back() = '?';
  return out;
}

namespace {

// ---- Formatting --------------------------------------------------------------------------------

// Long pools and key lists are cut in the text reports; the JSON event lists everything kept.
constexpr size_t kMaxListed = kMaxExplainListed;
// The places listed for one text of a pool; more are "...".
constexpr size_t kMaxSources = 8;

// Say: the words of one language.
class Say {
 public:
  explicit Say(Language theLanguage) : language(theLanguage) {}
  std::string operator()(MessageId id,
                         std::initializer_list<std::string_view> arguments = {}) const {
    return Compose(language, id, arguments);
  }
  // Role: what the prompt under key is, in a few plain words.
  std::string Role(const ReservedKey& key) const {
    return ComposeCheck(language, CheckText{PromptRole(key.key), {}, {}});
  }

 private:
  Language language;
};

std::string Number(int64_t value) { return std::to_string(value); }

// Fraction: a chance as "3277/32768 (10.00%)".
std::string Fraction(int64_t num, int64_t den) {
  const auto [n, d] = ReducedFraction(num, den);
  char percent[32];
  std::snprintf(percent, sizeof percent, " (%.2f%%)",
                100.0 * static_cast<double>(num) / static_cast<double>(den));
  return Number(n) + "/" + Number(d) + percent;
}

// Where: a place in the dictionary, "Dictionary.txt:12" ("?" for a line not known).
std::string Where(uint64_t line) {
  return std::string(kDictionaryFile) + ":" + (line == 0 ? std::string("?") : std::to_string(line));
}

// Marked: the subject with the key's match in brackets.
std::string Marked(const Say& say, const std::string& subject, const LookupRecorder::Key& key) {
  if (!key.spanFound || key.spanEnd > subject.size() || key.spanStart > key.spanEnd) {
    return say(MsgSpanGaveUp, {OneLine(subject)});
  }
  const std::string_view s(subject);
  return OneLine(s.substr(0, key.spanStart)) + "[" +
         OneLine(s.substr(key.spanStart, key.spanEnd - key.spanStart)) + "]" +
         OneLine(s.substr(key.spanEnd));
}

// Source: where an answer of the pool stands, with the text of the key that pooled it.
std::string Source(const Say& say, const LookupRecorder& pool, const PoolSource& source) {
  if (source.key < 0) return Where(source.line);
  return say(MsgSourceWithKey,
             {Where(source.line), OneLine(pool.keys[static_cast<size_t>(source.key)].text)});
}

// Sources: the places of a text of the pool, with their keys when withKeys, else each line once.
std::string Sources(const Say& say, const LookupRecorder& pool, const PoolText& entry,
                    bool withKeys) {
  std::string sources;
  std::vector<uint64_t> listed;
  for (const PoolSource& source : entry.sources) {
    if (!withKeys && std::find(listed.begin(), listed.end(), source.line) != listed.end()) {
      continue;
    }
    if (listed.size() == kMaxSources) {
      sources += ", ...";
      break;
    }
    sources +=
        (listed.empty() ? "" : ", ") + (withKeys ? Source(say, pool, source) : Where(source.line));
    listed.push_back(source.line);
  }
  return sources;
}

std::string Shown(const PoolText& entry) { return OneLine(entry.text) + (entry.cut ? "..." : ""); }

void AppendLine(std::string& out, const char* indent, const std::string& text) {
  out += indent;
  out += text;
  out += '\n';
}

// AppendKeys: one line for each matched key: where it stands, its text, the subject marked.
void AppendKeys(const Say& say, std::string& out, const LookupRecorder& pool,
                const std::string& subject, const char* indent) {
  for (size_t i = 0; i < pool.keys.size() && i < kMaxListed; ++i) {
    const LookupRecorder::Key& key = pool.keys[i];
    AppendLine(out, indent,
               say(MsgKeyMatches, {Where(key.line), OneLine(key.text), Marked(say, subject, key)}));
  }
  const size_t more = pool.keys.size() - std::min(pool.keys.size(), kMaxListed) + pool.keysNotKept;
  if (more > 0) AppendLine(out, indent, say(MsgMoreKeys, {Number(static_cast<int64_t>(more))}));
}

// AppendUnsearched: one line for each key the lookup could not search to its end.
void AppendUnsearched(const Say& say, std::string& out, const LookupRecorder& pool,
                      const std::string& indent) {
  if (pool.unsearched.empty()) return;
  AppendLine(out, indent.c_str(), say(MsgUnsearchedHeader));
  const std::string inner = indent + "  ";
  for (size_t i = 0; i < pool.unsearched.size() && i < kMaxListed; ++i) {
    const LookupRecorder::Unsearched& key = pool.unsearched[i];
    const MessageId reason =
        key.reason == UnsearchedMemory ? MsgUnsearchedMemory : MsgUnsearchedSteps;
    AppendLine(out, inner.c_str(),
               say(MsgUnsearchedKey, {Where(key.line), OneLine(key.text), say(reason)}));
  }
  const size_t more = pool.unsearched.size() - std::min(pool.unsearched.size(), kMaxListed) +
                      pool.unsearchedNotKept;
  if (more > 0) {
    AppendLine(out, inner.c_str(), say(MsgMoreKeys, {Number(static_cast<int64_t>(more))}));
  }
}

std::string QuipLinesWord(const Say& say, int32_t lines) {
  return say(lines == 1 ? MsgQuipLine : MsgQuipLines, {Number(lines)});
}

// QuipShares: "12 lines, each 2730 to 2731 of the 32768 draws".
std::string QuipShares(const Say& say, int32_t lines) {
  int32_t least = kGeneratorOutputs;
  int32_t most = 0;
  int32_t never = 0;
  for (int32_t i = 0; i < lines; ++i) {
    const int32_t share = OutputsGiving(i, lines);
    least = std::min(least, share);
    most = std::max(most, share);
    never += share == 0 ? 1 : 0;
  }
  const std::string each =
      least == most ? Number(least) : say(MsgQuipShareRange, {Number(least), Number(most)});
  const std::string text =
      say(MsgQuipShares, {QuipLinesWord(say, lines), each, Number(kGeneratorOutputs)});
  return never > 0 ? say(MsgQuipSharesNever, {text, Number(never)}) : text;
}

// AppendPrompt: the pool a prompt is drawn from, each text with the keys it comes from and its
// share of the prompt's draw; a prompt with nothing in the dictionary shows its default.
void AppendPrompt(const Say& say, std::string& out, const ReservedKey& key,
                  const LookupRecorder& pool, const char* indent) {
  const auto distinct =
      DistinctAnswers(pool, [&](int32_t i) { return int64_t{OutputsGiving(i, pool.poolSize)}; });
  for (size_t i = 0; i < distinct.size() && i < kMaxListed; ++i) {
    AppendLine(
        out, indent,
        say(MsgPromptChoice, {Shown(distinct[i]), Fraction(distinct[i].odds, kGeneratorOutputs),
                              Sources(say, pool, distinct[i], true)}));
  }
  if (pool.poolSize == 0) {
    AppendLine(out, indent, say(MsgPromptBuiltIn, {OneLine(key.defaultText), Fraction(1, 1)}));
  }
}

// PoolEntry: "3. (drawn) text  place" for answer i of a pool.
std::string PoolEntry(const Say& say, const LookupRecorder& pool, size_t i,
                      const std::string& place) {
  const bool drawn = static_cast<int32_t>(i) == pool.drawn;
  return say(drawn ? MsgPoolEntryDrawn : MsgPoolEntry,
             {Number(static_cast<int64_t>(i + 1)), OneLine(pool.answers[i].text), place});
}

}  // namespace

// ---- The report of mimoza explain --------------------------------------------------------------

std::string ExplainReport(Dictionary& dictionary, const std::string& line, Language language) {
  const Say say(language);
  LookupRecorder pool;
  const LineOdds odds = ExplainLine(dictionary, line.c_str(), pool);
  std::string out = "> " + OneLine(line) + "\n";
  if (pool.keys.empty() && pool.keysNotKept == 0) AppendLine(out, "  ", say(MsgNoKeyMatches));
  AppendKeys(say, out, pool, line, "  ");
  AppendUnsearched(say, out, pool, "  ");
  const auto distinct = DistinctAnswers(pool, [&](int32_t i) { return AnswerOdds(odds, i); });
  for (size_t i = 0; i < distinct.size() && i < kMaxListed; ++i) {
    AppendLine(
        out, "  ",
        say(MsgExplainAnswer, {Shown(distinct[i]), Fraction(distinct[i].odds, kOddsDenominator),
                               Sources(say, pool, distinct[i], false)}));
  }
  if (distinct.size() > kMaxListed) {
    AppendLine(out, "  ",
               say(MsgMoreAnswers, {Number(static_cast<int64_t>(distinct.size() - kMaxListed))}));
  }
  if (odds.quipLines == 0) {
    AppendLine(out, "  ", say(MsgExplainNoQuips, {Fraction(0, 1), Number(kQuipRoll)}));
  } else {
    AppendLine(out, "  ",
               say(MsgExplainQuip,
                   {Fraction(odds.quip, kOddsDenominator), QuipShares(say, odds.quipLines)}));
  }
  switch (odds.outcome) {
    case OutcomeAnswer:
      AppendLine(
          out, "  ",
          odds.quipLines > 0 ? say(MsgTurnAnswerOrQuip, {Number(kQuipRoll)}) : say(MsgTurnAnswer));
      break;
    case OutcomeQuip:
      AppendLine(out, "  ", say(MsgTurnQuip));
      break;
    case OutcomeOffer: {
      AppendLine(out, "  ", say(MsgTurnOffer, {Fraction(odds.nothing, kOddsDenominator)}));
      LookupRecorder prompt;
      ExplainPrompt(dictionary, kOfferLearnKey, prompt);
      AppendPrompt(say, out, kOfferLearnKey, prompt, "    ");
      break;
    }
    case OutcomeClear:
      AppendLine(
          out, "  ",
          say(MsgTurnClear, {Number(kMinLearnBytes), Fraction(odds.nothing, kOddsDenominator)}));
      break;
  }
  return out;
}

// ---- The record of the last turn ---------------------------------------------------------------

std::string DescribeTurn(const TurnRecorder& turn, Language language) {
  if (!turn.started) return {};
  const Say say(language);
  // States are also indexes into this table: keep it in ConversationState's order.
  static constexpr MessageId kStates[] = {MsgStateIdle, MsgStateAwaitingConsent,
                                          MsgStateAwaitingAnswer};
  std::string out = "> " + OneLine(turn.line) + "\n";
  if (turn.abandoned) {
    AppendLine(out, "", say(MsgTurnAbandoned));
    return out;
  }
  AppendLine(out, "", say(MsgState, {say(kStates[turn.state])}));
  AppendLine(
      out, "",
      say(MsgQuipRoll,
          {Number(turn.roll), Number(kQuipRoll), Fraction(QuipRollOutputs(), kGeneratorOutputs),
           turn.quipLines > 0 ? QuipLinesWord(say, turn.quipLines) : say(MsgNoQuip)}));
  const LookupRecorder& response = turn.response;
  if (response.keys.empty() && response.keysNotKept == 0) {
    AppendLine(out, "", say(MsgNoKeyMatches));
  } else {
    AppendLine(out, "", say(MsgKeysThatMatch));
    AppendKeys(say, out, response, turn.line, "  ");
  }
  AppendUnsearched(say, out, response, "");
  const LineOdds odds = LineOddsFor(response.poolSize, turn.quipLines, turn.line.size());
  if (response.poolSize > 0) {
    AppendLine(out, "",
               say(turn.quipDrawn ? MsgPoolQuipTook : MsgPool, {Number(response.poolSize)}));
    const size_t listed = std::min<size_t>(response.answers.size(), kMaxListed);
    for (size_t i = 0; i < listed && i < static_cast<size_t>(response.poolSize); ++i) {
      AppendLine(out, "  ", PoolEntry(say, response, i, Where(response.answers[i].line)));
    }
    if (static_cast<size_t>(response.poolSize) > listed) {
      AppendLine(
          out, "  ",
          say(MsgMoreAnswers,
              {Number(static_cast<int64_t>(static_cast<size_t>(response.poolSize) - listed))}));
    }
  }
  if (turn.quipDrawn) {
    AppendLine(out, "",
               say(MsgDrawnQuip, {Number(turn.quip.line), Number(turn.quip.lines),
                                  Fraction(QuipLineOdds(odds, turn.quip.line), kOddsDenominator)}));
  } else if (response.drawn >= 0) {
    const auto& answer = response.answers[static_cast<size_t>(response.drawn)];
    AppendLine(out, "",
               say(MsgDrawnAnswer,
                   {Number(response.drawn + 1), Number(response.poolSize), Where(answer.line),
                    Fraction(AnswerOdds(odds, response.drawn), kOddsDenominator)}));
  } else {
    AppendLine(out, "", say(MsgDrawnNothing));
  }
  // Replies are also indexes into this table: keep it in ReplyKind's order.
  static constexpr MessageId kReplies[] = {MsgReplyNeither, MsgReplyYes, MsgReplyNo};
  switch (turn.branch) {
    case BranchAnswered:
      AppendLine(out, "", say(MsgShownDrawn));
      break;
    case BranchCleared:
      AppendLine(out, "", say(MsgShownCleared, {Number(kMinLearnBytes)}));
      break;
    case BranchOfferLearn:
      AppendLine(out, "", say(MsgShownOfferLearn, {kOfferLearnKey.key}));
      break;
    case BranchOfferAdd:
      AppendLine(out, "", say(MsgShownOfferAdd, {kOfferAddKey.key}));
      break;
    case BranchRefused:
      AppendLine(out, "", say(MsgReply, {say(kReplies[turn.reply])}));
      AppendLine(out, "", say(MsgShownRefused));
      break;
    case BranchAskAnswer:
      AppendLine(out, "", say(MsgReply, {say(kReplies[turn.reply])}));
      AppendLine(out, "", say(MsgShownQuestion, {kAskAnswerKey.key}));
      break;
    case BranchLearned:
      AppendLine(out, "", say(MsgShownLearned, {kLearnedKey.key}));
      break;
    case BranchNotStored:
      AppendLine(out, "", say(MsgShownNotStored));
      break;
  }
  if (turn.prompt != nullptr) {
    const LookupRecorder& pool = turn.promptPool;
    AppendLine(
        out, "",
        say(MsgPromptPool, {turn.prompt->key, say.Role(*turn.prompt), Number(pool.poolSize)}));
    if (pool.lookups > 1 && pool.poolSize > 0) AppendLine(out, "  ", say(MsgPromptDefaultStored));
    AppendUnsearched(say, out, pool, "  ");
    if (pool.poolSize == 0) {
      AppendLine(out, "  ", say(MsgPromptNone, {OneLine(turn.prompt->defaultText)}));
    } else {
      for (size_t i = 0; i < pool.answers.size() && i < kMaxListed; ++i) {
        const LookupRecorder::Answer& answer = pool.answers[i];
        const std::string place =
            Source(say, pool, PoolSource{answer.line, answer.key}) + "  " +
            Fraction(OutputsGiving(static_cast<int32_t>(i), pool.poolSize), kGeneratorOutputs);
        AppendLine(out, "  ", PoolEntry(say, pool, i, place));
      }
    }
  }
  return out;
}

}  // namespace mimoza
