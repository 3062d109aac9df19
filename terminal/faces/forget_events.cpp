// terminal/faces/forget_events.cpp: {"forget":...} and {"cancel":true} -> the dictionary store's
// forget, or the engine's cancel -> JSON events.
// Leaves this file: ForgetEvents, CancelEvent. ErrorEvent is private.
// Tested by tests/terminal/store_commands_test.cpp and tests/terminal/json_command_test.cpp.
#include "terminal/faces/forget_events.h"

#include <unistd.h>

#include "knowledge/dictionary_store.h"
#include "terminal/common/data_directory.h"
#include "terminal/common/encoding.h"
#include "terminal/common/json_text.h"
#include "terminal/common/store_words.h"

namespace mimoza {
namespace {

std::string ErrorEvent(const std::string& message) {
  std::string event = "{\"event\":\"error\",\"message\":";
  AppendJsonString(event, message);
  return event + "}\n";
}

}  // namespace

std::string ForgetEvents(const Command& command) {
  const std::string dir = WorkingDirectory();
  ForgetPlan plan;
  if (command.forgetLast) {
    plan = PlanForgetLast();
  } else {
    const ForgetTarget target{command.line, command.column};
    plan = PlanForget({&target, 1});
  }
  if (plan.problem != ForgetFine) return ErrorEvent(ForgetProblemText(plan, dir));
  if (!command.all) {
    if (plan.Pooled()) {
      return ErrorEvent(PooledText(plan) + ": send \"all\":true to forget it all the same");
    }
    if (plan.whole && plan.Answers() > 1) {
      return ErrorEvent("the entry learned last has " + std::to_string(plan.Answers()) +
                        " answers: send {\"forget\":\"last\",\"all\":true} to forget them all");
    }
  }
  ReplaceOptions options;
  options.ownerMayChange = command.all;
  const StoreResult result = ApplyForget(plan, options);
  if (result.status != StoreDone) {
    return ErrorEvent(StoreResultText(result, dir) + "; nothing is forgotten");
  }
  std::string events;
  for (const ForgottenEntry& entry : plan.entries) {
    for (const PlacedText& answer : entry.answers) {
      events += "{\"event\":\"forgotten\",\"line\":" + std::to_string(answer.line) + ",\"key\":";
      if (entry.hasKey) {
        AppendJsonString(events, ToUtf8(entry.key.text));
      } else {
        events += "null";
      }
      events += ",\"answer\":";
      AppendJsonString(events, ToUtf8(answer.text));
      events += ",\"backup\":";
      AppendJsonString(events, dir + "/" + result.backup);
      events += "}\n";
    }
  }
  return events;
}

std::string CancelEvent(Conversation& conversation) {
  return std::string("{\"event\":\"cancelled\",\"dropped\":") +
         (conversation.CancelDialogue() ? "true" : "false") + "}\n";
}

}  // namespace mimoza
