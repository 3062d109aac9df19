// terminal/faces/json_command.cpp: one JSON-lines input line -> Command.
// Leaves this file: ParseCommand. JsonReader and its members are private.
// Tested by tests/terminal/json_command_test.cpp; fuzzed by fuzz/jsonl_fuzz.cpp.
#include "terminal/faces/json_command.h"

#include <cstdint>

#include "terminal/common/utf8.h"

namespace mimoza {
namespace {

// Only four object shapes are accepted, so the reader knows JSON just far enough to read them
// and to reject everything else at the first byte that does not fit: it never recurses and
// never builds a value it will not use.
class JsonReader {
 public:
  explicit JsonReader(std::string_view line) : text(line) {}

  // command -> ws "{" ws member (ws "," ws member)* ws "}" ws
  Command ReadCommand();

 private:
  bool AtEnd() const { return position >= text.size(); }
  char Peek() const { return AtEnd() ? '\0' : text[position]; }
  void SkipSpace();
  bool Take(char c);
  bool TakeWord(std::string_view word);
  bool ReadString(std::string& out);
  bool ReadHex4(uint32_t& value);
  bool Fail(const char* why);

  std::string_view text;
  size_t position = 0;
  std::string error;
};

bool IsHighSurrogate(uint32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(uint32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

bool JsonReader::Fail(const char* why) {
  if (error.empty()) error = why;
  return false;
}

void JsonReader::SkipSpace() {
  while (!AtEnd() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\r' || Peek() == '\n')) {
    ++position;
  }
}

bool JsonReader::Take(char c) {
  if (AtEnd() || text[position] != c) return false;
  ++position;
  return true;
}

bool JsonReader::TakeWord(std::string_view word) {
  if (text.substr(position, word.size()) != word) return false;
  position += word.size();
  return true;
}

bool JsonReader::ReadHex4(uint32_t& value) {
  value = 0;
  for (int i = 0; i < 4; ++i) {
    const char c = Peek();
    uint32_t digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<uint32_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<uint32_t>(c - 'A' + 10);
    } else {
      return Fail("\\u needs four hexadecimal digits");
    }
    value = value * 16 + digit;
    ++position;
  }
  return true;
}

// string -> '"' (unescaped byte >= 0x20 | "\" escape)* '"'
// A \u escape of a surrogate pair becomes its one character; a surrogate without its partner
// has no character and becomes U+FFFD. Other bytes are copied as they are; the caller's
// conversion turns malformed UTF-8 into "?".
bool JsonReader::ReadString(std::string& out) {
  if (!Take('"')) return Fail("expected a string");
  while (true) {
    if (AtEnd()) return Fail("unterminated string");
    const char c = text[position++];
    if (c == '"') return true;
    if (static_cast<unsigned char>(c) < 0x20) return Fail("control character in a string");
    if (c != '\\') {
      out.push_back(c);
      continue;
    }
    if (AtEnd()) return Fail("unterminated string");
    const char escape = text[position++];
    switch (escape) {
      case '"':
      case '\\':
      case '/':
        out.push_back(escape);
        break;
      case 'b':
        out.push_back('\b');
        break;
      case 'f':
        out.push_back('\f');
        break;
      case 'n':
        out.push_back('\n');
        break;
      case 'r':
        out.push_back('\r');
        break;
      case 't':
        out.push_back('\t');
        break;
      case 'u': {
        uint32_t unit = 0;
        if (!ReadHex4(unit)) return false;
        if (IsHighSurrogate(unit) && text.substr(position, 2) == "\\u") {
          const size_t pairStart = position;
          position += 2;
          uint32_t low = 0;
          if (!ReadHex4(low)) return false;
          if (IsLowSurrogate(low)) {
            AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
            break;
          }
          position = pairStart;  // not a pair: the second escape is read on its own
        }
        AppendUtf8(out, IsHighSurrogate(unit) || IsLowSurrogate(unit) ? kReplacementChar : unit);
        break;
      }
      default:
        return Fail("unknown escape in a string");
    }
  }
}

Command JsonReader::ReadCommand() {
  Command command;
  bool hasSubmit = false;
  bool hasCtrl = false;
  bool hasClick = false;
  bool hasExplain = false;
  SkipSpace();
  if (AtEnd()) {
    command.message = "empty line";
    return command;
  }
  bool ok = Take('{') || Fail("expected an object");
  SkipSpace();
  while (ok) {
    std::string key;
    ok = ReadString(key);
    SkipSpace();
    ok = ok && (Take(':') || Fail("expected \":\""));
    SkipSpace();
    if (!ok) break;
    if (key == "submit" && !hasSubmit) {
      hasSubmit = ReadString(command.text);
      ok = hasSubmit;
    } else if (key == "ctrl" && !hasCtrl) {
      hasCtrl = true;
      if (TakeWord("true")) {
        command.ctrl = true;
      } else if (!TakeWord("false")) {
        ok = Fail("\"ctrl\" must be true or false");
      }
    } else if (key == "click" && !hasClick) {
      hasClick = true;
      ok = TakeWord("true") || Fail("\"click\" must be true");
    } else if (key == "explain" && !hasExplain) {
      hasExplain = ReadString(command.text);
      ok = hasExplain;
    } else if (key == "submit" || key == "ctrl" || key == "click" || key == "explain") {
      ok = Fail("repeated key");
    } else {
      ok = Fail("unknown key");
    }
    SkipSpace();
    if (!ok || Take('}')) break;
    ok = Take(',') || Fail("expected \",\" or \"}\"");
    SkipSpace();
  }
  SkipSpace();
  if (ok && !AtEnd()) ok = Fail("text after the object");
  if (ok && hasClick && (hasSubmit || hasCtrl || hasExplain)) ok = Fail("\"click\" stands alone");
  if (ok && hasExplain && (hasSubmit || hasCtrl)) ok = Fail("\"explain\" stands alone");
  if (ok && !hasClick && !hasSubmit && !hasExplain) {
    ok = Fail("expected \"submit\", \"click\" or \"explain\"");
  }
  if (!ok) {
    command.message = error;
    command.text.clear();
    command.ctrl = false;
    return command;
  }
  command.kind = hasClick ? CmdClick : hasExplain ? CmdExplain : CmdSubmit;
  return command;
}

}  // namespace

Command ParseCommand(std::string_view line) { return JsonReader(line).ReadCommand(); }

}  // namespace mimoza
