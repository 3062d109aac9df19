// base/cp932_forms.h: a two-byte code page 932 code -> the code that typed text holds for its
// character. Code page 932 gives 398 characters two codes (NEC's row 13 repeats JIS X 0208
// symbols; NEC's selection of IBM's extensions, 0xED40-0xEEFC, repeats IBM's own, 0xFA40-0xFC4B,
// which in turn repeat some of row 13), and its conversion from Unicode, the way every face turns
// typed text into code page 932, produces one of them only. A key holding the other can match
// lines read from a file, never a line someone typed.
// Leaves this file: Cp932Ordinal, Cp932Code, Cp932FormRun, kCp932DuplicateRuns, TypedForm.
// Header-only (mimoza_base). Tested by tests/terminal/encoding_test.cpp, against the terminal's
// own conversion both ways for every two-byte code.
#pragma once

#include <cstdint>

#include "base/cp932.h"

namespace mimoza {

// Cp932Ordinal: the place of a two-byte code (lead << 8 | second) among all two-byte codes in
// code order, counting only the 188 second bytes IsSecondByte allows; -1 for any other value.
// Runs of codes that go on over a gap of second bytes or a lead byte stay runs of ordinals.
constexpr int32_t Cp932Ordinal(uint32_t code) {
  const auto lead = static_cast<unsigned char>(code >> 8);
  const auto second = static_cast<unsigned char>(code & 0xFF);
  if (code > 0xFFFF || !IsLeadByte(lead) || !IsSecondByte(second)) return -1;
  const int32_t row = lead <= 0x9F ? lead - 0x81 : lead - 0xE0 + (0x9F - 0x81 + 1);
  const int32_t cell = second < 0x7F ? second - 0x40 : second - 0x41;
  return row * 188 + cell;
}

// Cp932Code: the code at an ordinal (0 to 60 * 188 - 1); Cp932Ordinal's inverse.
constexpr uint16_t Cp932Code(int32_t ordinal) {
  const int32_t row = ordinal / 188;
  const int32_t cell = ordinal % 188;
  const int32_t lead = row <= 0x9F - 0x81 ? 0x81 + row : 0xE0 + row - (0x9F - 0x81 + 1);
  const int32_t second = cell < 0x7F - 0x40 ? 0x40 + cell : 0x41 + cell;
  return static_cast<uint16_t>(lead << 8 | second);
}

// A run of codes typed text never holds: the conversion from Unicode turns the code at place i
// of [first, last] into the code at place i from typed.
struct Cp932FormRun {
  uint16_t first;
  uint16_t last;
  uint16_t typed;
};

// In code order. The conversion keeps row 13 except where it repeats JIS X 0208, prefers IBM's
// extensions to NEC's selection of them, and row 13 and JIS X 0208 to IBM's repeats of them.
inline constexpr Cp932FormRun kCp932DuplicateRuns[] = {
    {0x8790, 0x8790, 0x81E0},  // ≒
    {0x8791, 0x8791, 0x81DF},  // ≡
    {0x8792, 0x8792, 0x81E7},  // ∫
    {0x8795, 0x8795, 0x81E3},  // √
    {0x8796, 0x8796, 0x81DB},  // ⊥
    {0x8797, 0x8797, 0x81DA},  // ∠
    {0x879A, 0x879A, 0x81E6},  // ∵
    {0x879B, 0x879B, 0x81BF},  // ∩
    {0x879C, 0x879C, 0x81BE},  // ∪
    {0xED40, 0xEEEC, 0xFA5C},  // 纊 ... 黑: the 360 kanji of NEC's selection
    {0xEEEF, 0xEEF8, 0xFA40},  // ⅰ ... ⅹ
    {0xEEF9, 0xEEF9, 0x81CA},  // ￢
    {0xEEFA, 0xEEFC, 0xFA55},  // ￤ ＇ ＂
    {0xFA4A, 0xFA53, 0x8754},  // Ⅰ ... Ⅹ
    {0xFA54, 0xFA54, 0x81CA},  // ￢
    {0xFA58, 0xFA58, 0x878A},  // ㈱
    {0xFA59, 0xFA59, 0x8782},  // №
    {0xFA5A, 0xFA5A, 0x8784},  // ℡
    {0xFA5B, 0xFA5B, 0x81E6},  // ∵
};

// TypedForm: the code typed text holds for the character of a two-byte code: code itself unless
// it is one of kCp932DuplicateRuns.
constexpr uint16_t TypedForm(uint16_t code) {
  const unsigned lead = code >> 8;
  if (lead != 0x87 && lead != 0xED && lead != 0xEE && lead != 0xFA) return code;
  const int32_t at = Cp932Ordinal(code);
  for (const Cp932FormRun& run : kCp932DuplicateRuns) {
    const int32_t first = Cp932Ordinal(run.first);
    if (at >= first && at <= Cp932Ordinal(run.last)) {
      return Cp932Code(Cp932Ordinal(run.typed) + at - first);
    }
  }
  return code;
}

static_assert(TypedForm(0xED40) == 0xFA5C && TypedForm(0xEEEC) == 0xFC4B);
static_assert(TypedForm(0xFA4A) == 0x8754 && TypedForm(0x8754) == 0x8754);

}  // namespace mimoza
