// terminal/faces/keys.h: bytes read from a terminal -> keys (characters, editing keys, submissions
// with or without Ctrl, mouse presses). Knows the legacy VT/xterm sequences, xterm's
// modifyOtherKeys form (CSI 27 ; m ; k ~), the kitty keyboard protocol's CSI k ; m u form and
// SGR mouse reports (CSI < b ; x ; y M), wheel turns included.
// Leaves this file: KeyKind, Key, KeyDecoder. Tested through LineEditor::Feed by
// tests/terminal/line_editor_test.cpp and fuzzed by fuzz/line_editor_fuzz.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mimoza {

enum KeyKind : int8_t {
  KeyNone = 0,      // nothing complete yet, or a sequence we ignore
  KeyChar,          // a printable character; codePoint holds it
  KeyEnter,         // Enter; ctrl tells whether Ctrl (or the Alt+Enter fallback) was held
  KeyBackspace,     // Backspace (DEL or BS)
  KeyDelete,        // Delete
  KeyLeft,          // cursor left
  KeyRight,         // cursor right
  KeyWordLeft,      // to the start of the word (Alt+B, Ctrl+Left)
  KeyWordRight,     // to the end of the word (Alt+F, Ctrl+Right)
  KeyUp,            // history: older line
  KeyDown,          // history: newer line
  KeyHome,          // start of line (also Ctrl+A)
  KeyEnd,           // end of line (also Ctrl+E)
  KeyKillToEnd,     // Ctrl+K
  KeyKillToStart,   // Ctrl+U
  KeyKillWordBack,  // Ctrl+W, Alt+Backspace: kill back to the start of the word
  KeyKillWord,      // Alt+D: kill on to the end of the word
  KeyYank,          // Ctrl+Y: insert the text killed last
  KeyTranspose,     // Ctrl+T: swap the characters around the cursor
  KeySearch,        // Ctrl+R: search the history backwards
  KeyCancel,        // Ctrl+G: leave the innermost mode, as Esc does
  KeyCtrlD,         // Ctrl+D: end of input on an empty line, else Delete
  KeyInterrupt,     // Ctrl+C
  KeyRedraw,        // Ctrl+L
  KeyEscape,        // Esc alone (only known once the next byte is late, see Flush)
  KeyShowLast,      // F2
  KeyWhy,           // F3
  KeyForget,        // F4
  KeyPageUp,        // Page Up
  KeyPageDown,      // Page Down
  KeySuspend,       // Ctrl+Z
  KeyMousePress,    // left button pressed; x and y are 1-based cells
  KeyWheelUp,       // mouse wheel turned away from the user; x and y as for a press
  KeyWheelDown,     // mouse wheel turned towards the user
  KeyPasteStart,    // bracketed paste begins
  KeyPasteEnd,      // bracketed paste ends
  KeyOther,         // a key we recognise as a key press but give no meaning
};

struct Key {
  KeyKind kind = KeyNone;
  char32_t codePoint = 0;  // KeyChar only
  bool ctrl = false;       // KeyEnter only: submit as if Ctrl were held
  int32_t x = 0;           // KeyMousePress and the wheel: column, 1-based
  int32_t y = 0;           // KeyMousePress and the wheel: row, 1-based
};

// One decoder per input stream. Every byte sequence gives a defined result: malformed UTF-8
// becomes U+FFFD, unknown or overlong escape sequences are dropped whole, and a byte that
// cannot continue a sequence ends it and is then read on its own.
class KeyDecoder {
 public:
  // Feed: takes one byte; returns the key it completes, or KeyNone.
  Key Feed(unsigned char byte);
  // Pending: true while an escape sequence is unfinished (the caller times it out with Flush).
  bool Pending() const { return state != StGround && state != StUtf8; }
  // Flush: the input paused: a lone ESC becomes KeyEscape, any other unfinished escape sequence
  // is dropped. An unfinished UTF-8 character is kept, since its bytes may still come.
  Key Flush();

 private:
  enum DecoderState : int8_t {
    StGround = 0,  // between keys
    StUtf8,        // inside a multi-byte UTF-8 character
    StEscape,      // after ESC
    StCsi,         // after ESC [ (parameters, intermediates, then a final byte)
    StSs3,         // after ESC O
    StLinuxFKey,   // after ESC [ [ (the Linux console's F1-F5)
    StX10Mouse,    // after ESC [ M: three raw bytes of an old-style mouse report
    StString,      // inside OSC/DCS/APC/PM/SOS text, up to BEL or ESC \ .
    StStringEsc,   // an ESC inside such a text
  };

  // Longer parameter strings than this are no key we know; the sequence is read to its end and
  // dropped, so a flood of digits cannot grow anything.
  static constexpr size_t kMaxParams = 32;
  // A terminal's string reply is short; one that runs longer is abandoned so typing is not
  // swallowed forever by a lost terminator.
  static constexpr size_t kMaxStringBytes = 4096;

  Key Ground(unsigned char byte);
  Key Utf8(unsigned char byte);
  Key Escape(unsigned char byte);
  Key AddParam(unsigned char byte);
  Key Csi(unsigned char byte);
  Key Ss3(unsigned char byte);
  Key FinishCsi(unsigned char final);
  Key Restart(unsigned char byte);

  DecoderState state = StGround;
  unsigned char utf8Bytes[4] = {};  // the UTF-8 character being gathered
  size_t utf8Length = 0;            // bytes of it so far
  size_t utf8Want = 0;              // bytes its lead byte announces
  char params[kMaxParams] = {};     // CSI/SS3 parameter and intermediate bytes
  size_t paramLength = 0;
  bool paramsOverflowed = false;
  size_t stringLength = 0;           // bytes of the OSC/DCS/... text so far
  int32_t x10Remaining = 0;          // raw mouse report bytes still expected
  unsigned char mouseBytes[2] = {};  // button and column of an old-style mouse report
};

}  // namespace mimoza
