// terminal/faces/stream_faces.cpp: input lines (plain or JSON commands) -> engine turns -> output
// lines (plain responses or JSON events).
// Leaves this file: RunPiped, RunJsonLines.
// Output, RunLines, PipedHost and JsonLinesHost are private. Tested by
// tests/terminal/program_test.cpp.
#include "terminal/faces/stream_faces.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "conversation/conversation.h"
#include "terminal/common/encoding.h"
#include "terminal/common/explanation.h"
#include "terminal/common/json_text.h"
#include "terminal/common/line_reader.h"
#include "terminal/common/safe_text.h"
#include "terminal/common/words.h"
#include "terminal/faces/forget_events.h"
#include "terminal/faces/json_command.h"

namespace mimoza {
namespace {

// A face's output: every write is checked, and the first failure is kept for the exit.
class Output {
 public:
  explicit Output(std::FILE* stream) : out(stream) {}
  void Write(const std::string& bytes) {
    if (error != 0) return;
    if (std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() || std::fflush(out) != 0) {
      error = errno != 0 ? errno : EIO;
    }
  }
  int Error() const { return error; }

 private:
  std::FILE* out;
  int error = 0;
};

class PipedHost final : public ConversationHost {
 public:
  explicit PipedHost(Output& output) : out(output) {}
  void SetTitle(const char*) override {}
  // A cleared line is printed empty, so each response the engine sets stays one output line.
  void SetResponseLine(const char* text) override {
    out.Write(SanitizeLine(ToUtf8(text == nullptr ? "" : text)) + "\n");
  }
  void SetInputText(const char*) override {}
  bool IsControlKeyDown() override { return false; }
  void ShowInfoBox(const char*, const char*) override {}
  // The output carries responses only: the notice goes to stderr, in the user's language.
  void StoreFailed(int error) override {
    const std::string notice = ShownText(StoreFailureWords(TerminalLanguage(), error));
    std::fprintf(stderr, "mimoza: %s\n", notice.c_str());
  }

 private:
  Output& out;
};

class JsonLinesHost final : public ConversationHost {
 public:
  explicit JsonLinesHost(Output& output) : out(output) {}
  void SetTitle(const char* text) override { Emit("title", nullptr, text); }
  void SetResponseLine(const char* text) override { Emit("response", nullptr, text); }
  void SetInputText(const char* text) override { Emit("input", nullptr, text); }
  bool IsControlKeyDown() override { return ctrl; }
  void ShowInfoBox(const char* caption, const char* text) override { Emit("info", caption, text); }
  // The protocol's messages are English whatever the locale: programs read them.
  void StoreFailed(int error) override {
    EmitError(ToUtf8(StoreFailureWords(LanguageEnglish, error)));
  }

  // EmitExplanation: the explanation event for {"explain":T}, or an error for a T that leaves
  // nothing to submit; the conversation's state and the generator stay as they were.
  void EmitExplanation(Conversation& conversation, const std::string& text) {
    std::string event = ExplanationEvent(conversation, text);
    if (event.empty()) {
      EmitError("nothing to explain: the line is empty");
      return;
    }
    event += '\n';
    out.Write(event);
  }

  // EmitError: the event for a line that was not an accepted command; message is UTF-8.
  void EmitError(const std::string& message) {
    std::string event = "{\"event\":\"error\",\"message\":";
    AppendJsonString(event, message);
    Write(event);
  }

  // EmitLines: whole event lines made elsewhere (forget's and cancel's).
  void EmitLines(const std::string& lines) { out.Write(lines); }

  bool ctrl = false;  // the "ctrl" of the command being handled

 private:
  // Emit: one event; caption (when given) and text are code page 932, null reads as "".
  void Emit(const char* name, const char* caption, const char* text) {
    std::string event = "{\"event\":\"";
    event += name;
    event += '"';
    if (caption != nullptr) {
      event += ",\"caption\":";
      AppendJsonString(event, ToUtf8(caption));
    }
    event += ",\"text\":";
    AppendJsonString(event, ToUtf8(text == nullptr ? "" : text));
    Write(event);
  }
  void Write(std::string& event) {
    event += "}\n";
    out.Write(event);
  }

  Output& out;
};

// RunLines: opens a conversation through host and hands it every input line; returns the exit
// code: 0 at the end of input, 1 on a read error or when the output cannot be written (after
// saying so on stderr: a script must not take a cut transcript for a whole one).
template <typename OnLine>
int RunLines(std::FILE* in, Output& output, ConversationHost& host, OnLine onLine) {
  Conversation conversation(host);
  conversation.OpenConversation();
  std::string line;
  while (output.Error() == 0) {
    const LineResult result = ReadLine(in, line);
    if (result == LineEnd) return 0;
    if (result == LineFailed) return 1;
    onLine(conversation, result, line);
  }
  std::fprintf(stderr, "mimoza: cannot write the output: %s\n", std::strerror(output.Error()));
  return 1;
}

}  // namespace

int RunPiped(std::FILE* in, std::FILE* out) {
  Output output(out);
  PipedHost host(output);
  return RunLines(in, output, host, [](Conversation& conversation, LineResult, std::string& line) {
    // A CR before the LF is part of the line end, as in a file written on Windows.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string submitted = PrepareLine(line);
    if (!submitted.empty()) conversation.SubmitLine(submitted.c_str());
  });
}

int RunJsonLines(std::FILE* in, std::FILE* out) {
  Output output(out);
  JsonLinesHost host(output);
  return RunLines(in, output, host,
                  [&host](Conversation& conversation, LineResult result, const std::string& line) {
                    if (result == LineTooLong) {
                      host.EmitError("line too long");
                      return;
                    }
                    const Command command = ParseCommand(line);
                    switch (command.kind) {
                      case CmdError:
                        host.EmitError(command.message);
                        break;
                      case CmdSubmit: {
                        const std::string submitted = PrepareLine(command.text);
                        if (submitted.empty()) break;
                        host.ctrl = command.ctrl;
                        conversation.SubmitLine(submitted.c_str());
                        host.ctrl = false;
                        break;
                      }
                      case CmdClick:
                        conversation.ShowLastResponse();
                        break;
                      case CmdExplain:
                        host.EmitExplanation(conversation, command.text);
                        break;
                      case CmdForget:
                        host.EmitLines(ForgetEvents(command));
                        break;
                      case CmdCancel:
                        host.EmitLines(CancelEvent(conversation));
                        break;
                    }
                  });
}

}  // namespace mimoza
