// terminal/common/json_text.h: text -> a JSON string, for the JSON-lines events and `mimoza check
// --format=json`.
// Leaves this file: AppendJsonString. Tested by tests/terminal/json_command_test.cpp; fuzzed by
// fuzz/jsonl_fuzz.cpp.
#pragma once

#include <string>
#include <string_view>

namespace mimoza {

// AppendJsonString: appends text as a quoted JSON string; quotes, backslashes and control
// characters are escaped, every other byte is copied (the text is expected to be UTF-8).
void AppendJsonString(std::string& out, std::string_view text);

}  // namespace mimoza
