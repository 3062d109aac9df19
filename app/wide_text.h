// app/wide_text.h: the dialog's edge between the core's code page 932 bytes and the UTF-16 that
// the wide-character window functions take. Converting explicitly with code page 932 shows the
// same texts on every system, whatever its own ANSI code page.
// Leaves this file: kShownTextBytes, kWideTextSize, WideFromCp932 (a line, and a whole text),
// Cp932FromWide. Tested by tests/app/wide_text_test.cpp.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "knowledge/knowledge.h"

namespace mimoza {

// The longest core text shown is a fetched answer or prompt of kLineBufferBytes; each byte or
// byte pair gives at most one UTF-16 unit, so as many units and a NUL hold any of them.
inline constexpr size_t kShownTextBytes = kLineBufferBytes;
inline constexpr size_t kWideTextSize = kShownTextBytes + 1;

// WideFromCp932: converts at most the first kShownTextBytes bytes of text (cut at a character
// boundary) into out, which holds kWideTextSize units. A null text gives an empty string.
// Returns the number of units written before the NUL.
size_t WideFromCp932(const char* text, wchar_t (&out)[kWideTextSize]);

// WideFromCp932: converts the whole of text, whatever its length, for texts longer than a line
// (the why window's record).
std::wstring WideFromCp932(std::string_view text);

// Cp932FromWide: converts text[0, length) to code page 932, each character with no code page
// 932 form becoming "?", then cuts the bytes to at most limit at a character boundary and
// writes a NUL (out holds limit + 1 bytes). Returns the number of bytes before the NUL.
size_t Cp932FromWide(const wchar_t* text, size_t length, char* out, size_t limit);

}  // namespace mimoza
