// terminal/common/explanation.h: why Mimoza says what it says, as the terminal program's JSON
// lines say it: the explanation event. The record of a turn and its words are the core's
// (conversation/turn_record.h).
// Leaves this file: kWhyCaption, ExplanationEvent. Tested by tests/terminal/explain_test.cpp and,
// through the built program, tests/terminal/program_test.cpp.
#pragma once

#include <string>
#include <string_view>

#include "conversation/turn_record.h"

namespace mimoza {

// The caption of the box that explains the last turn, "なぜ".
inline constexpr char kWhyCaption[] = "\xE3\x81\xAA\xE3\x81\x9C";

// ExplanationEvent: the JSON-lines answer to {"explain":T} (without its line end): what the next
// idle turn would do with T, from the conversation's dictionary; changes nothing. utf8 is T as
// sent; the event's line is T as explained (converted to code page 932 and cut, then back to
// UTF-8), and spans count its characters; each answer's "lines" are those where its text stands;
// "unsearched" lists the keys not searched to their end, when there are some.
std::string ExplanationEvent(Conversation& conversation, std::string_view utf8);

}  // namespace mimoza
