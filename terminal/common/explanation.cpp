// terminal/common/explanation.cpp: what a lookup told -> the JSON-lines explanation event.
// Leaves this file: ExplanationEvent. CharacterOffset and OutcomeName are private.
// Tested by tests/terminal/explain_test.cpp and tests/terminal/program_test.cpp.
#include "terminal/common/explanation.h"

#include <algorithm>
#include <vector>

#include "base/cp932.h"
#include "terminal/common/encoding.h"
#include "terminal/common/json_text.h"

namespace mimoza {
namespace {

std::string Number(int64_t value) { return std::to_string(value); }

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

}  // namespace

std::string ExplanationEvent(Conversation& conversation, std::string_view utf8) {
  const std::string line = PrepareLine(utf8);
  if (line.empty()) return {};
  LookupRecorder pool;
  const LineOdds odds = conversation.ExplainLine(line.c_str(), pool);
  const auto appendOdds = [](std::string& out, int64_t num, int64_t den) {
    const auto [n, d] = ReducedFraction(num, den);
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
             (pool.unsearched[i].reason == UnsearchedMemory ? "memory" : "steps") + "\"}";
  }
  if (!pool.unsearched.empty()) event += "]";
  event += ",\"answers\":[";
  const auto distinct = DistinctAnswers(pool, [&](int32_t i) { return AnswerOdds(odds, i); });
  for (size_t i = 0; i < distinct.size(); ++i) {
    event += i == 0 ? "{\"text\":" : ",{\"text\":";
    AppendJsonString(event, ToUtf8(distinct[i].text));
    event += ",\"odds\":";
    appendOdds(event, distinct[i].odds, kOddsDenominator);
    // Each line once: an answer that two keys pool is one place.
    std::vector<uint64_t> lines;
    for (const PoolSource& source : distinct[i].sources) {
      if (std::find(lines.begin(), lines.end(), source.line) == lines.end()) {
        lines.push_back(source.line);
      }
    }
    event += ",\"lines\":[";
    for (size_t l = 0; l < lines.size(); ++l)
      event += (l == 0 ? "" : ",") + Number(static_cast<int64_t>(lines[l]));
    event += "]}";
  }
  event += "],\"quip\":{\"odds\":";
  appendOdds(event, odds.quip, kOddsDenominator);
  event += std::string(",\"available\":") + (odds.quipLines > 0 ? "true" : "false") +
           "},\"outcome\":\"" + OutcomeName(odds.outcome) + "\"}";
  return event;
}

}  // namespace mimoza
