// fuzz/jsonl_fuzz.cpp: arbitrary bytes -> the JSON-lines command reader and the encoding edge.
// Checks that a submitted text, written back as a JSON string, reads back unchanged, and that
// the host's conversion and cut keep within a line's bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "conversation/conversation.h"
#include "terminal/encoding.h"
#include "terminal/json_command.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  const mimoza::Command command = mimoza::ParseCommand(line);
  if (command.kind == mimoza::CmdError && command.message.empty()) std::abort();
  if (command.kind != mimoza::CmdSubmit) {
    mimoza::ToUtf8(line);  // the same bytes as code page 932 output
    return 0;
  }
  std::string again = "{\"submit\":";
  mimoza::AppendJsonString(again, command.text);
  again += command.ctrl ? ",\"ctrl\":true}" : "}";
  const mimoza::Command reread = mimoza::ParseCommand(again);
  if (reread.kind != mimoza::CmdSubmit || reread.text != command.text ||
      reread.ctrl != command.ctrl) {
    std::abort();
  }
  const std::string submitted = mimoza::CutToLine(mimoza::ToCp932(command.text));
  if (submitted.size() > mimoza::kMaxLineBytes || submitted.find('\0') != std::string::npos) {
    std::abort();
  }
  mimoza::ToUtf8(submitted);
  return 0;
}
