// terminal/faces/keys.cpp: bytes read from a terminal -> keys.
// Leaves this file: KeyDecoder::Feed, KeyDecoder::Flush. The per-state readers and the
// parameter parsing are private.
// Tested through LineEditor::Feed by tests/terminal/line_editor_test.cpp; fuzzed by
// fuzz/line_editor_fuzz.cpp.
#include "terminal/faces/keys.h"

#include <string_view>

#include "terminal/common/utf8.h"

namespace mimoza {
namespace {

constexpr unsigned char kEsc = 0x1B;
// Kitty reports the keypad's Enter under its own code in the private use area.
constexpr int32_t kKittyKeypadEnter = 57414;
// Parameter values above this are no key or cell we know; clamping keeps the parsing in range.
constexpr int32_t kMaxParamValue = 1000000;

Key MakeKey(KeyKind kind) {
  Key key;
  key.kind = kind;
  return key;
}

// CharKey: a printable character; C0/C1 controls, surrogates and values beyond Unicode are not.
Key CharKey(char32_t c) {
  if (c < 0x20 || (c >= 0x7F && c < 0xA0) || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
    return MakeKey(KeyOther);
  }
  Key key = MakeKey(KeyChar);
  key.codePoint = c;
  return key;
}

Key EnterKey(bool ctrl) {
  Key key = MakeKey(KeyEnter);
  key.ctrl = ctrl;
  return key;
}

// ControlKey: what a C0 control byte (or DEL) means on its own.
Key ControlKey(unsigned char byte) {
  switch (byte) {
    case 0x01:
      return MakeKey(KeyHome);  // Ctrl+A
    case 0x02:
      return MakeKey(KeyLeft);  // Ctrl+B
    case 0x03:
      return MakeKey(KeyInterrupt);  // Ctrl+C
    case 0x04:
      return MakeKey(KeyCtrlD);  // Ctrl+D
    case 0x05:
      return MakeKey(KeyEnd);  // Ctrl+E
    case 0x06:
      return MakeKey(KeyRight);  // Ctrl+F
    case 0x07:
      return MakeKey(KeyCancel);  // Ctrl+G
    case 0x08:
      return MakeKey(KeyBackspace);  // Ctrl+H
    case 0x0A:
      return EnterKey(false);  // LF: some terminals send it for Enter
    case 0x0B:
      return MakeKey(KeyKillToEnd);  // Ctrl+K
    case 0x0C:
      return MakeKey(KeyRedraw);  // Ctrl+L
    case 0x0D:
      return EnterKey(false);  // CR: Enter
    case 0x0E:
      return MakeKey(KeyDown);  // Ctrl+N
    case 0x10:
      return MakeKey(KeyUp);  // Ctrl+P
    case 0x12:
      return MakeKey(KeySearch);  // Ctrl+R
    case 0x14:
      return MakeKey(KeyTranspose);  // Ctrl+T
    case 0x15:
      return MakeKey(KeyKillToStart);  // Ctrl+U
    case 0x17:
      return MakeKey(KeyKillWordBack);  // Ctrl+W
    case 0x19:
      return MakeKey(KeyYank);  // Ctrl+Y
    case 0x1A:
      return MakeKey(KeySuspend);  // Ctrl+Z
    case 0x7F:
      return MakeKey(KeyBackspace);  // DEL: what Backspace sends
    default:
      return MakeKey(KeyOther);
  }
}

// AltKey: what a key means with Alt held, however the terminal reported it: readline's word keys.
Key AltKey(int32_t code) {
  switch (code) {
    case 'b':
    case 'B':
      return MakeKey(KeyWordLeft);
    case 'f':
    case 'F':
      return MakeKey(KeyWordRight);
    case 'd':
    case 'D':
      return MakeKey(KeyKillWord);
    case 0x7F:  // Backspace, as DEL or as BS
    case 0x08:
      return MakeKey(KeyKillWordBack);
    default:
      return MakeKey(KeyOther);
  }
}

// KeyFromCode: a key reported as a code and an xterm modifier value (1 + shift 1, alt 2, ctrl 4,
// ...), as both modifyOtherKeys (CSI 27 ; m ; k ~) and kitty (CSI k ; m u) report it.
Key KeyFromCode(int32_t code, int32_t modifiers) {
  const int32_t bits = modifiers > 0 ? modifiers - 1 : 0;
  const bool alt = (bits & 2) != 0;
  const bool ctrl = (bits & 4) != 0;
  if (code == 13 || code == kKittyKeypadEnter) return EnterKey(ctrl || alt);
  if (code == 27) return MakeKey(KeyEscape);
  if (alt && !ctrl) return AltKey(code);
  if (code == 127 || code == 8) return MakeKey(KeyBackspace);
  if (ctrl && !alt && code >= 0x40 && code < 0x7F) {
    return ControlKey(static_cast<unsigned char>(code & 0x1F));
  }
  if (ctrl || alt || code < 0x20) return MakeKey(KeyOther);
  return CharKey(static_cast<char32_t>(code));
}

// CsiParams: the numbers of a parameter string "n;n;n" after an optional private marker.
// Sub-parameters after ":" are skipped; a missing number reads as 0.
struct CsiParams {
  static constexpr int kMaxFields = 4;
  char marker = 0;  // '<', '=', '>' or '?' when the string starts with one
  int32_t values[kMaxFields] = {};
  int32_t count = 0;
  bool valid = true;  // false when something other than digits, ";" and ":" follows the marker
};

CsiParams ParseParams(const char* text, size_t length) {
  CsiParams params;
  size_t i = 0;
  if (length > 0 && text[0] >= '<' && text[0] <= '?') params.marker = text[i++];
  if (i == length) return params;
  params.count = 1;
  bool inSubParam = false;
  for (; i < length; ++i) {
    const char c = text[i];
    if (c == ';') {
      inSubParam = false;
      if (params.count < CsiParams::kMaxFields) ++params.count;
    } else if (c == ':') {
      inSubParam = true;
    } else if (c >= '0' && c <= '9') {
      if (inSubParam) continue;
      int32_t& value = params.values[params.count - 1];
      value = value * 10 + (c - '0');
      if (value > kMaxParamValue) value = kMaxParamValue;
    } else {
      params.valid = false;
    }
  }
  return params;
}

// TildeKey: CSI n ~ (and CSI 27 ; m ; k ~ from modifyOtherKeys).
Key TildeKey(const CsiParams& p) {
  switch (p.values[0]) {
    case 1:
    case 7:
      return MakeKey(KeyHome);
    case 4:
    case 8:
      return MakeKey(KeyEnd);
    case 3:
      return MakeKey(KeyDelete);
    case 5:
      return MakeKey(KeyPageUp);
    case 6:
      return MakeKey(KeyPageDown);
    case 12:
      return MakeKey(KeyShowLast);  // F2 in vt220 and rxvt terminals
    case 13:
      return MakeKey(KeyWhy);  // F3 likewise, and in kitty's keyboard protocol
    case 14:
      return MakeKey(KeyForget);  // F4 likewise
    case 200:
      return MakeKey(KeyPasteStart);
    case 201:
      return MakeKey(KeyPasteEnd);
    case 27:
      return p.count >= 3 ? KeyFromCode(p.values[2], p.values[1]) : MakeKey(KeyOther);
    default:
      return MakeKey(KeyOther);
  }
}

// SgrMouseKey: CSI < b ; x ; y M is a press, ... m a release. A plain or modified left-button
// press and a wheel turn (buttons 64 and 65) are keys; releases, motion and other buttons are not.
Key SgrMouseKey(const CsiParams& p, unsigned char final) {
  if (final != 'M' || p.count < 3) return MakeKey(KeyNone);
  const int32_t button = p.values[0] & ~(4 | 8 | 16);  // Shift, Alt and Ctrl do not matter
  KeyKind kind = KeyNone;
  if (button == 0) kind = KeyMousePress;
  if (button == 64) kind = KeyWheelUp;
  if (button == 65) kind = KeyWheelDown;
  if (kind == KeyNone) return MakeKey(KeyNone);
  Key key = MakeKey(kind);
  key.x = p.values[1];
  key.y = p.values[2];
  return key;
}

// CursorKey: the final letters shared by CSI and SS3 (ESC O) sequences.
Key CursorKey(unsigned char final) {
  switch (final) {
    case 'A':
      return MakeKey(KeyUp);
    case 'B':
      return MakeKey(KeyDown);
    case 'C':
      return MakeKey(KeyRight);
    case 'D':
      return MakeKey(KeyLeft);
    case 'H':
      return MakeKey(KeyHome);
    case 'F':
      return MakeKey(KeyEnd);
    case 'Q':
      return MakeKey(KeyShowLast);  // F2
    case 'R':
      return MakeKey(KeyWhy);  // F3
    case 'S':
      return MakeKey(KeyForget);  // F4
    case 'M':
      return EnterKey(false);  // keypad Enter in application mode
    default:
      return MakeKey(KeyOther);
  }
}

// ModifiedCursorKey: CSI 1 ; m C and the like: Left and Right with Ctrl or Alt move by words, as
// in most line editors; other modifiers change nothing.
Key ModifiedCursorKey(unsigned char final, const CsiParams& p) {
  const int32_t bits = p.count >= 2 && p.values[1] > 0 ? p.values[1] - 1 : 0;
  if ((bits & (2 | 4)) != 0 && (final == 'C' || final == 'D')) {
    return MakeKey(final == 'C' ? KeyWordRight : KeyWordLeft);
  }
  return CursorKey(final);
}

}  // namespace

Key KeyDecoder::Feed(unsigned char byte) {
  switch (state) {
    case StGround:
      return Ground(byte);
    case StUtf8:
      return Utf8(byte);
    case StEscape:
      return Escape(byte);
    case StCsi:
      return Csi(byte);
    case StSs3:
      return Ss3(byte);
    case StLinuxFKey:
      state = StGround;
      if (byte < 0x40 || byte > 0x7E) return Ground(byte);
      return MakeKey(byte == 'B'   ? KeyShowLast
                     : byte == 'C' ? KeyWhy
                     : byte == 'D' ? KeyForget
                                   : KeyOther);
    case StX10Mouse:
      // Three raw bytes follow CSI M where the terminal ignored our request for SGR reports.
      if (x10Remaining > 1) {
        mouseBytes[3 - x10Remaining--] = byte;
        return MakeKey(KeyNone);
      }
      state = StGround;
      {
        CsiParams p;
        p.count = 3;
        p.values[0] = mouseBytes[0] - 32;
        p.values[1] = mouseBytes[1] - 32;
        p.values[2] = byte - 32;
        return SgrMouseKey(p, 'M');
      }
    case StString:
      if (byte == 0x07 || byte == 0x18 || byte == 0x1A || ++stringLength > kMaxStringBytes) {
        state = StGround;
      } else if (byte == kEsc) {
        state = StStringEsc;
      }
      return MakeKey(KeyNone);
    case StStringEsc:
      if (byte == '\\') {
        state = StGround;
        return MakeKey(KeyNone);
      }
      state = StEscape;
      return Escape(byte);
  }
  state = StGround;
  return MakeKey(KeyNone);
}

Key KeyDecoder::Flush() {
  const DecoderState was = state;
  if (was == StGround || was == StUtf8) return MakeKey(KeyNone);
  state = StGround;
  return MakeKey(was == StEscape ? KeyEscape : KeyNone);
}

Key KeyDecoder::Ground(unsigned char byte) {
  if (byte == kEsc) {
    state = StEscape;
    return MakeKey(KeyNone);
  }
  if (byte < 0x20 || byte == 0x7F) return ControlKey(byte);
  if (byte < 0x80) return CharKey(byte);
  // A UTF-8 lead byte: its bytes are gathered and then decoded whole. A byte that cannot start
  // a character is one malformed character at once.
  utf8Want = Utf8SequenceLength(byte);
  if (utf8Want == 0) return CharKey(kReplacementChar);
  utf8Bytes[0] = byte;
  utf8Length = 1;
  state = StUtf8;
  return MakeKey(KeyNone);
}

Key KeyDecoder::Utf8(unsigned char byte) {
  if ((byte & 0xC0) != 0x80) {
    // The character was cut short: it is dropped and the byte starts afresh.
    return Restart(byte);
  }
  utf8Bytes[utf8Length++] = byte;
  if (utf8Length < utf8Want) return MakeKey(KeyNone);
  state = StGround;
  size_t length = 0;
  bool wellFormed = false;
  const char32_t c =
      DecodeUtf8(std::string_view(reinterpret_cast<const char*>(utf8Bytes), utf8Length), 0, &length,
                 &wellFormed);
  // Overlong forms, surrogates and values beyond Unicode are malformed too.
  return CharKey(wellFormed ? c : kReplacementChar);  // C1 controls are not characters
}

Key KeyDecoder::Escape(unsigned char byte) {
  paramLength = 0;
  paramsOverflowed = false;
  switch (byte) {
    case '[':
      state = StCsi;
      return MakeKey(KeyNone);
    case 'O':
      state = StSs3;
      return MakeKey(KeyNone);
    case ']':
    case 'P':
    case '_':
    case '^':
    case 'X':
      state = StString;
      stringLength = 0;
      return MakeKey(KeyNone);
    case 0x0D:
    case 0x0A:
      // Alt+Enter: the fallback for terminals that cannot report Ctrl+Enter.
      state = StGround;
      return EnterKey(true);
    case kEsc:
      // Esc pressed twice: the first one stands alone.
      return MakeKey(KeyEscape);
    default:
      break;
  }
  if ((byte >= 0x20 && byte <= 0x7F) || byte == 0x08) {
    state = StGround;
    return AltKey(byte);  // Alt with a letter, or Alt+Backspace
  }
  return Restart(byte);
}

// AddParam: one byte of a sequence's parameters, kept while they fit; a sequence whose
// parameters overflow is dropped whole when it ends.
Key KeyDecoder::AddParam(unsigned char byte) {
  if (paramLength < kMaxParams) {
    params[paramLength++] = static_cast<char>(byte);
  } else {
    paramsOverflowed = true;
  }
  return MakeKey(KeyNone);
}

Key KeyDecoder::Csi(unsigned char byte) {
  if (byte >= 0x20 && byte <= 0x3F) {
    return AddParam(byte);
  }
  if (byte >= 0x40 && byte <= 0x7E) {
    if (paramLength == 0 && byte == '[') {
      state = StLinuxFKey;
      return MakeKey(KeyNone);
    }
    if (paramLength == 0 && byte == 'M') {
      state = StX10Mouse;
      x10Remaining = 3;
      return MakeKey(KeyNone);
    }
    state = StGround;
    return FinishCsi(byte);
  }
  return Restart(byte);
}

Key KeyDecoder::Ss3(unsigned char byte) {
  if ((byte >= '0' && byte <= '9') || byte == ';') {
    return AddParam(byte);
  }
  if (byte >= 0x40 && byte <= 0x7E) {
    state = StGround;
    if (paramsOverflowed) return MakeKey(KeyNone);
    // rxvt's Ctrl+Left and Ctrl+Right.
    if (byte == 'd' || byte == 'c') return MakeKey(byte == 'd' ? KeyWordLeft : KeyWordRight);
    return CursorKey(byte);
  }
  return Restart(byte);
}

Key KeyDecoder::FinishCsi(unsigned char final) {
  if (paramsOverflowed) return MakeKey(KeyNone);
  const CsiParams p = ParseParams(params, paramLength);
  if (!p.valid) return MakeKey(KeyNone);  // intermediates: no key we know
  if (p.marker == '<') return SgrMouseKey(p, final);
  if (p.marker != 0) return MakeKey(KeyNone);  // replies to queries, not keys
  switch (final) {
    case '~':
      return TildeKey(p);
    case 'u':
      return p.count >= 1 ? KeyFromCode(p.values[0], p.count >= 2 ? p.values[1] : 1)
                          : MakeKey(KeyNone);
    case 'R':
      // F3 as CSI R, or CSI 1 ; m R with modifiers. A cursor position report (CSI row ; column
      // R) looks alike, but the program never asks for one.
      return p.count == 0 || (p.count <= 2 && p.values[0] == 1) ? MakeKey(KeyWhy)
                                                                : MakeKey(KeyNone);
    default:
      return ModifiedCursorKey(final, p);
  }
}

Key KeyDecoder::Restart(unsigned char byte) {
  state = StGround;
  return Ground(byte);
}

}  // namespace mimoza
