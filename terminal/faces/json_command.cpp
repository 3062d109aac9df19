// terminal/faces/json_command.cpp: one JSON-lines input line -> Command.
// Leaves this file: ParseCommand. JsonReader and its members are private.
// Tested by tests/terminal/json_command_test.cpp; fuzzed by fuzz/jsonl_fuzz.cpp.
#include "terminal/faces/json_command.h"

#include <cstdint>

#include "terminal/common/utf8.h"

namespace mimoza {
namespace {

// Only a few object shapes are accepted, so the reader knows JSON just far enough to read them
// and to reject everything else at the first byte that does not fit: it never recurses (the
// one nested object, forget's, is read by a loop of its own) and never builds a value it will
// not use.
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
  bool ReadBool(bool& value, const char* why);
  bool ReadCount(uint32_t& value, const char* why);
  bool ReadForget(Command& command);
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

bool JsonReader::ReadBool(bool& value, const char* why) {
  if (TakeWord("true")) {
    value = true;
  } else if (TakeWord("false")) {
    value = false;
  } else {
    return Fail(why);
  }
  return true;
}

// count -> digit+ (no sign, fraction or exponent), from 1 to 4294967295
bool JsonReader::ReadCount(uint32_t& value, const char* why) {
  uint64_t number = 0;
  size_t digits = 0;
  for (; Peek() >= '0' && Peek() <= '9' && digits <= 10; ++digits, ++position) {
    number = number * 10 + static_cast<uint64_t>(Peek() - '0');
  }
  const char next = Peek();
  if (digits == 0 || digits > 10 || number == 0 || number > UINT32_MAX || next == '.' ||
      next == 'e' || next == 'E') {
    return Fail(why);
  }
  value = static_cast<uint32_t>(number);
  return true;
}

// forget -> '"last"' | "{" ws fmember (ws "," ws fmember)* ws "}"
// fmember -> '"line"' ws ":" ws count | '"column"' ws ":" ws count | '"all"' ws ":" ws bool
bool JsonReader::ReadForget(Command& command) {
  if (Peek() == '"') {
    std::string which;
    if (!ReadString(which)) return false;
    command.forgetLast = which == "last";
    return command.forgetLast || Fail("\"forget\" must be \"last\" or an object");
  }
  if (!Take('{')) return Fail("\"forget\" must be \"last\" or an object");
  bool hasLine = false;
  bool hasColumn = false;
  bool hasAll = false;
  SkipSpace();
  for (;;) {
    std::string key;
    if (!ReadString(key)) return false;
    SkipSpace();
    if (!Take(':')) return Fail("expected \":\"");
    SkipSpace();
    const char* const kCountWhy = "\"line\" and \"column\" must be whole numbers from 1";
    if (key == "line" && !hasLine) {
      hasLine = ReadCount(command.line, kCountWhy);
      if (!hasLine) return false;
    } else if (key == "column" && !hasColumn) {
      hasColumn = ReadCount(command.column, kCountWhy);
      if (!hasColumn) return false;
    } else if (key == "all" && !hasAll) {
      hasAll = ReadBool(command.all, "\"all\" must be true or false");
      if (!hasAll) return false;
    } else {
      return Fail(key == "line" || key == "column" || key == "all" ? "repeated key"
                                                                   : "unknown key in \"forget\"");
    }
    SkipSpace();
    if (Take('}')) break;
    if (!Take(',')) return Fail("expected \",\" or \"}\"");
    SkipSpace();
  }
  return hasLine || Fail("\"forget\" needs \"line\"");
}

Command JsonReader::ReadCommand() {
  Command command;
  bool hasSubmit = false;
  bool hasCtrl = false;
  bool hasClick = false;
  bool hasExplain = false;
  bool hasForget = false;
  bool hasAll = false;
  bool hasCancel = false;
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
    } else if (key == "forget" && !hasForget) {
      hasForget = ReadForget(command);
      ok = hasForget;
    } else if (key == "all" && !hasAll) {
      hasAll = ReadBool(command.all, "\"all\" must be true or false");
      ok = hasAll;
    } else if (key == "cancel" && !hasCancel) {
      hasCancel = true;
      ok = TakeWord("true") || Fail("\"cancel\" must be true");
    } else if (key == "submit" || key == "ctrl" || key == "click" || key == "explain" ||
               key == "forget" || key == "all" || key == "cancel") {
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
  const bool others = hasSubmit || hasCtrl || hasClick || hasExplain;
  if (ok && hasForget && (others || hasCancel)) ok = Fail("\"forget\" stands alone");
  if (ok && hasCancel && (others || hasAll)) ok = Fail("\"cancel\" stands alone");
  if (ok && hasAll && !(hasForget && command.forgetLast)) {
    ok = Fail("\"all\" goes with \"forget\":\"last\" (or inside the forget object)");
  }
  if (ok && !hasSubmit && !hasClick && !hasExplain && !hasForget && !hasCancel) {
    ok = Fail("expected \"submit\", \"click\", \"explain\", \"forget\" or \"cancel\"");
  }
  if (!ok) {
    const std::string message = error;
    command = Command();
    command.message = message;
    return command;
  }
  command.kind = hasClick     ? CmdClick
                 : hasExplain ? CmdExplain
                 : hasForget  ? CmdForget
                 : hasCancel  ? CmdCancel
                              : CmdSubmit;
  return command;
}

}  // namespace

Command ParseCommand(std::string_view line) { return JsonReader(line).ReadCommand(); }

}  // namespace mimoza
