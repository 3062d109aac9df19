// fuzz/jsonl_fuzz.cpp: arbitrary bytes -> the JSON-lines command reader and the encoding edge.
// Checks that a submitted or explained text, written back as a JSON string, reads back unchanged,
// that the host's conversion and cut keep within a line's bytes, and that explaining a text over
// a small dictionary of pattern keys (made in a directory of its own) gives an event exactly when
// something would be submitted, without drawing from the generator.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "conversation/conversation.h"
#include "terminal/common/encoding.h"
#include "terminal/common/explanation.h"
#include "terminal/common/json_text.h"
#include "terminal/faces/json_command.h"

namespace {

class SilentHost final : public mimoza::ConversationHost {
 public:
  void SetTitle(const char*) override {}
  void SetResponseLine(const char*) override {}
  void SetInputText(const char*) override {}
  bool IsControlKeyDown() override { return false; }
  void ShowInfoBox(const char*, const char*) override {}
};

mimoza::Conversation& Explaining() {
  static SilentHost host;
  static mimoza::Conversation& conversation = []() -> mimoza::Conversation& {
    mkdir("jsonl_fuzz_data", 0700);
    if (chdir("jsonl_fuzz_data") != 0) std::abort();
    std::FILE* f = std::fopen("Dictionary.txt", "wb");
    if (f == nullptr) std::abort();
    std::fputs(
        "<KEY><SMES0></KEY><ANS>t</ANS>\r\n<KEY>a</KEY><ANS>1</ANS><KEY>.</KEY><ANS>2\r\n"
        "</ANS><KEY>\x82\xA0|b+</KEY><ANS>3</ANS><KEY>^c.*d$</KEY><ANS>4</ANS><ANS>4</ANS>",
        f);
    std::fclose(f);
    static mimoza::Conversation opened(host);
    opened.OpenConversation();
    return opened;
  }();
  return conversation;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  const mimoza::Command command = mimoza::ParseCommand(line);
  if (command.kind == mimoza::CmdError && command.message.empty()) std::abort();
  if (command.kind == mimoza::CmdExplain) {
    std::string again = "{\"explain\":";
    mimoza::AppendJsonString(again, command.text);
    again += "}";
    const mimoza::Command reread = mimoza::ParseCommand(again);
    if (reread.kind != mimoza::CmdExplain || reread.text != command.text) std::abort();
    mimoza::Conversation& conversation = Explaining();
    mimoza::srand(1);
    const std::string event = mimoza::ExplanationEvent(conversation, command.text);
    if (mimoza::rand() != 41) std::abort();  // the first draw after srand(1): nothing was drawn
    if (event.empty() != mimoza::PrepareLine(command.text).empty()) std::abort();
    if (!event.empty() && event.rfind("{\"event\":\"explanation\",", 0) != 0) std::abort();
    return 0;
  }
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
