// terminal/stream_faces.cpp: input lines (plain or JSON commands) -> engine turns -> output lines
// (plain responses or JSON events).
// Leaves this file: RunPiped, RunJsonLines. ReadLine, PrepareLine, RunLines, PipedHost and
// JsonLinesHost are private. Tested by tests/terminal/program_test.cpp.
#include "terminal/stream_faces.h"

#include <string>

#include "conversation/conversation.h"
#include "terminal/encoding.h"
#include "terminal/json_command.h"

namespace mimoza {
namespace {

// Input lines are kept up to this many bytes and the rest of the line is read and dropped. A
// submission keeps at most kMaxLineBytes code page 932 bytes, and no character or JSON escape takes more
// than 12 input bytes per byte kept, so a megabyte never cuts into what is submitted; it only
// bounds the memory a line without end can take.
constexpr size_t kMaxInputLineBytes = size_t{1} << 20;

enum LineResult { LineRead, LineTooLong, LineEnd, LineFailed };

// ReadLine: reads one line without its LF (a last line without LF counts). Returns LineEnd at
// the end of input, LineFailed on a read error, LineTooLong when the line was cut to
// kMaxInputLineBytes.
LineResult ReadLine(std::FILE* in, std::string& line) {
  line.clear();
  bool cut = false;
  int c = 0;
  while ((c = std::getc(in)) != EOF && c != '\n') {
    if (line.size() < kMaxInputLineBytes) {
      line.push_back(static_cast<char>(c));
    } else {
      cut = true;
    }
  }
  if (c == EOF) {
    if (std::ferror(in)) return LineFailed;
    if (line.empty() && !cut) return LineEnd;
  }
  return cut ? LineTooLong : LineRead;
}

// PrepareLine: what the host submits for a UTF-8 line: converted, cut to a whole line's bytes
// at a character boundary and at a NUL. Empty means nothing is submitted.
std::string PrepareLine(std::string_view utf8) { return CutToLine(ToCp932(utf8)); }

class PipedHost final : public ConversationHost {
 public:
  explicit PipedHost(std::FILE* output) : out(output) {}
  void SetTitle(const char*) override {}
  // A cleared line is printed empty, so each response the engine sets stays one output line.
  void SetResponseLine(const char* text) override {
    std::string line = ToUtf8(text == nullptr ? "" : text);
    if (line.empty() || line.back() != '\n') line.push_back('\n');
    std::fputs(line.c_str(), out);
    std::fflush(out);
  }
  void SetInputText(const char*) override {}
  bool IsControlKeyDown() override { return false; }
  void ShowInfoBox(const char*, const char*) override {}

 private:
  std::FILE* out;
};

class JsonLinesHost final : public ConversationHost {
 public:
  explicit JsonLinesHost(std::FILE* output) : out(output) {}
  void SetTitle(const char* text) override { Emit("title", nullptr, text); }
  void SetResponseLine(const char* text) override { Emit("response", nullptr, text); }
  void SetInputText(const char* text) override { Emit("input", nullptr, text); }
  bool IsControlKeyDown() override { return ctrl; }
  void ShowInfoBox(const char* caption, const char* text) override { Emit("info", caption, text); }

  // EmitError: the event for a line that was not an accepted command; message is UTF-8.
  void EmitError(const std::string& message) {
    std::string event = "{\"event\":\"error\",\"message\":";
    AppendJsonString(event, message);
    Write(event);
  }

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
    std::fwrite(event.data(), 1, event.size(), out);
    std::fflush(out);
  }

  std::FILE* out;
};

// RunLines: opens a conversation through host and hands it every input line; returns the exit
// code: 0 at the end of input, 1 on a read error.
template <typename OnLine>
int RunLines(std::FILE* in, ConversationHost& host, OnLine onLine) {
  Conversation conversation(host);
  conversation.OpenConversation();
  std::string line;
  while (true) {
    const LineResult result = ReadLine(in, line);
    if (result == LineEnd) return 0;
    if (result == LineFailed) return 1;
    onLine(conversation, result, line);
  }
}

}  // namespace

int RunPiped(std::FILE* in, std::FILE* out) {
  PipedHost host(out);
  return RunLines(in, host, [](Conversation& conversation, LineResult, std::string& line) {
    // A CR before the LF is part of the line end, as in a file written on Windows.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string submitted = PrepareLine(line);
    if (!submitted.empty()) conversation.SubmitLine(submitted.c_str());
  });
}

int RunJsonLines(std::FILE* in, std::FILE* out) {
  JsonLinesHost host(out);
  return RunLines(in, host,
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
                    }
                  });
}

}  // namespace mimoza
