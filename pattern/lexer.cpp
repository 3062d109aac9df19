// pattern/lexer.cpp: pattern text -> tokens (code page 932 bytes in, PatternToken kinds with
// their payload out).
// Leaves this file: NextToken, IsMetacharacter, AlternationByte, PlainTextCharacters,
// QuoteMetacharacters, DecodeEscape, HexValue, DupText. Tested by tests/pattern/lexer_test.cpp.
#include "pattern/lexer.h"

#include <climits>
#include <cstring>

#include "pattern/pattern.h"

namespace mimoza {
namespace {

// The fixed class texts of the escape classes, outside brackets.
const char* EscapeClassText(char c) {
  switch (c) {
    case 'd':
      return "0-9";
    case 'D':
      return "^0-9";
    case 's':
      return "\t\r\n ";
    case 'S':
      return "^\t\r\n ";
    case 'w':
      return "0-9a-zA-Z_";
    case 'W':
      return "^0-9a-zA-Z_";
    default:
      return nullptr;
  }
}

int32_t HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// ClassBuilder: appends whole members to the record's class text. A member that no longer fits
// in kClassTextLimit bytes is dropped together with every member after it, so the text keeps
// the longest leading run of whole members and never ends inside a two-byte character or an
// escape.
struct ClassBuilder {
  char* text = nullptr;
  int32_t length = 0;
  bool full = false;

  void Append(const char* bytes, int32_t count) {
    if (full || length + count > kClassTextLimit) {
      full = true;
      return;
    }
    std::memcpy(text + length, bytes, static_cast<size_t>(count));
    length += count;
    text[length] = '\0';
  }
};

// ReadRepeat: the counts of "{m,n}" with cursor just after the "{".
void ReadRepeat(PatternLexer& lexer) {
  const char* at = lexer.cursor;
  if (*at == '\0') {
    lexer.token = TokEnd;
    lexer.cutOpening = at - 1;
    return;
  }
  lexer.repeatMin = 0;
  lexer.repeatMax = 0;
  int32_t* count = &lexer.repeatMin;
  bool comma = false;
  for (;; ++at) {
    char c = *at;
    if (c == '}') break;
    if (c == '\0') {
      lexer.token = TokEnd;
      lexer.cutOpening = lexer.cursor - 1;
      lexer.cursor = at;
      return;
    }
    if (c == ',') {
      comma = true;
      count = &lexer.repeatMax;
    } else if (c >= '0' && c <= '9') {
      // Counts saturate: a count this large passes the size bound anyway.
      int32_t digit = c - '0';
      *count = *count > (INT32_MAX - digit) / 10 ? INT32_MAX : *count * 10 + digit;
    }
  }
  ++at;  // the "}"
  if (!comma) lexer.repeatMax = lexer.repeatMin;
  if (*at == '?') {
    ++at;
    lexer.token = TokLazyRepeat;
  } else {
    lexer.token = TokRepeat;
  }
  lexer.cursor = at;
}

// ReadClass: the class text of "[...]" with cursor just after the "[".
void ReadClass(PatternLexer& lexer) {
  const char* at = lexer.cursor;
  if (*at == '\0') {
    lexer.token = TokEnd;
    lexer.cutOpening = at - 1;
    return;
  }
  ClassBuilder text{lexer.classText};
  text.text[0] = '\0';
  if (*at == ']') text.Append(at++, 1);  // a leading "]" is a member
  if (at[0] == '^' && at[1] == ']') {    // so is one right after a leading "^"
    text.Append(at, 1);
    text.Append(at + 1, 1);
    at += 2;
  }
  for (;;) {
    auto c = static_cast<unsigned char>(*at);
    if (c == ']') {
      lexer.token = TokClass;
      lexer.cursor = at + 1;
      return;
    }
    if (c == '\0' || ((c == '\\' || IsLeadByte(c)) && at[1] == '\0')) {
      lexer.token = TokEnd;
      lexer.cutOpening = lexer.cursor - 1;
      lexer.cursor = c == '\0' ? at : at + 1;
      return;
    }
    if (c == '\\') {
      char out[kEscapeOutputBytes];
      at = DecodeEscape(KeepClassEscapes, at, out);
      text.Append(out, static_cast<int32_t>(std::strlen(out)));
    } else if (IsLeadByte(c)) {
      text.Append(at, 2);
      at += 2;
    } else {
      text.Append(at++, 1);
    }
  }
}

// ReadEscape: an escape outside brackets, with cursor just after the "\".
void ReadEscape(PatternLexer& lexer) {
  const char* at = lexer.cursor;
  if (*at == '\0') {
    lexer.token = TokEnd;
    return;
  }
  lexer.cursor = DecodeEscape(ExpandClassEscapes, at - 1, lexer.classText);
  lexer.token = TokClass;
  if (lexer.classText[0] != '\0' && lexer.classText[1] == '\0') {
    lexer.token = TokChar;
    lexer.charLead = static_cast<uint8_t>(lexer.classText[0]);
  }
}

// RecogniseToken: the kind of the token at `at` and the length of its text: the first kind (in
// kind order) whose whole text starts there. Every two-byte text comes before its one-byte
// prefix, so "*?" wins over "*".
PatternToken RecogniseToken(const char* at, int32_t* length) {
  *length = 1;
  const auto first = static_cast<unsigned char>(*at);
  if (!kMetacharacters.isMeta[first]) return TokChar;
  for (const PatternToken kind : kMetacharacters.kinds[first]) {
    const char* text = kTokenTexts[kind];
    if (text[1] == '\0') return kind;
    if (text[1] == at[1]) {
      *length = 2;
      return kind;
    }
  }
  return TokChar;  // not reached: a metacharacter's last kind has a one-byte text
}

}  // namespace

void NextToken(PatternLexer& lexer) {
  lexer.token = TokChar;
  lexer.charLead = 0;
  lexer.charTrail = 0;
  const char* at = lexer.cursor;
  if (*at == '\0') {
    lexer.token = TokEnd;
    return;
  }
  int32_t length = 1;
  lexer.token = RecogniseToken(at, &length);
  lexer.cursor = at + length;
  switch (lexer.token) {
    case TokChar:
      lexer.charLead = static_cast<uint8_t>(*at);
      if (IsLeadByte(lexer.charLead) && at[1] != '\0') {
        lexer.charTrail = static_cast<uint8_t>(at[1]);
        ++lexer.cursor;
      }
      break;
    case TokDot:
      lexer.token = TokClass;
      std::memcpy(lexer.classText, "\x01-\xFF", 4);
      break;
    case TokBraceOpen:
      ReadRepeat(lexer);
      break;
    case TokClassOpen:
      ReadClass(lexer);
      break;
    case TokEscape:
      ReadEscape(lexer);
      break;
    default:
      break;  // stray "}", "}?" and "]" keep the record's counts and class text
  }
}

bool IsMetacharacter(unsigned char c) { return kMetacharacters.isMeta[c]; }

char AlternationByte() { return kTokenTexts[TokBar][0]; }

int32_t PlainTextCharacters(const char* text, size_t length) {
  int32_t characters = 0;
  const auto* t = reinterpret_cast<const unsigned char*>(text);
  for (size_t at = 0; at < length; ++characters) {
    if (IsLeadByte(t[at])) {
      if (at + 1 >= length) return 0;
      at += 2;
    } else if (kMetacharacters.isMeta[t[at]]) {
      return 0;
    } else {
      ++at;
    }
  }
  return characters;
}

size_t QuoteMetacharacters(const char* text, char* out, size_t outSize) {
  const auto* t = reinterpret_cast<const unsigned char*>(text);
  size_t written = 0;
  for (size_t at = 0; t[at] != 0;) {
    const size_t length = CharacterLength(t + at);
    const bool quoted = length == 1 && kMetacharacters.isMeta[t[at]];
    if (written + length + (quoted ? 1 : 0) + 1 > outSize) break;
    if (quoted) out[written++] = '\\';
    for (size_t i = 0; i < length; ++i) out[written++] = static_cast<char>(t[at + i]);
    at += length;
  }
  out[written] = '\0';
  return written;
}

const char* DecodeEscape(EscapeMode mode, const char* at, char* out) {
  char c = at[1];
  out[0] = '\0';
  if (c == '\0') return at + 1;
  if (mode == KeepClassEscapes && std::strchr("dswDSW\\", c) != nullptr) {
    out[0] = '\\';
    out[1] = c;
    out[2] = '\0';
    return at + 2;
  }
  if (const char* fixed = EscapeClassText(c)) {
    std::strcpy(out, fixed);
    return at + 2;
  }
  const char* next = at + 2;
  switch (c) {
    case 'n':
    case 'N':
      c = '\n';
      break;
    case 'r':
    case 'R':
      c = '\r';
      break;
    case 't':
    case 'T':
      c = '\t';
      break;
    case 'x':
    case 'X': {
      // At most two digits; the decoder never looks past the NUL.
      char digits[3] = {};
      int32_t n = 0;
      while (n < 2 && HexDigit(next[n]) >= 0) {
        digits[n] = next[n];
        ++n;
      }
      next += n;
      c = static_cast<char>(HexValue(digits));
      break;
    }
    default:
      break;
  }
  out[0] = c;
  out[1] = '\0';  // the byte 0 is the empty output
  return next;
}

int32_t HexValue(const char* text) {
  int32_t value = 0;
  for (int32_t digit; (digit = HexDigit(*text)) >= 0; ++text) {
    value = value > (INT32_MAX - digit) / 16 ? INT32_MAX : value * 16 + digit;
  }
  return value;
}

char* DupText(Arena& arena, const char* text) {
  if (text == nullptr) return nullptr;
  size_t size = std::strlen(text) + 1;
  auto* copy = static_cast<char*>(arena.Allocate(size));
  if (copy != nullptr) std::memcpy(copy, text, size);
  return copy;
}

}  // namespace mimoza
