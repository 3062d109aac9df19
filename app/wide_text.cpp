// app/wide_text.cpp: code page 932 <-> UTF-16 for the dialog's texts.
// Leaves this file: WideFromCp932, Cp932FromWide. Tested by tests/app/wide_text_test.cpp.
#include "app/wide_text.h"

#include <climits>
#include <cstring>
#include <new>

#include "conversation/conversation.h"

namespace mimoza {

namespace {

constexpr UINT kCodePage = 932;

}  // namespace

size_t WideFromCp932(const char* text, wchar_t (&out)[kWideTextSize]) {
  out[0] = L'\0';
  if (text == nullptr) return 0;
  size_t length = FitLineLength(text, strnlen(text, kShownTextBytes + 1), kShownTextBytes);
  if (length == 0) return 0;
  int units = MultiByteToWideChar(kCodePage, 0, text, static_cast<int>(length), out,
                                  static_cast<int>(kWideTextSize - 1));
  if (units <= 0) units = 0;
  out[units] = L'\0';
  return static_cast<size_t>(units);
}

std::wstring WideFromCp932(std::string_view text) {
  if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) return {};
  const int length = static_cast<int>(text.size());
  const int units = MultiByteToWideChar(kCodePage, 0, text.data(), length, nullptr, 0);
  if (units <= 0) return {};
  std::wstring out(static_cast<size_t>(units), L'\0');
  MultiByteToWideChar(kCodePage, 0, text.data(), length, out.data(), units);
  return out;
}

size_t Cp932FromWide(const wchar_t* text, size_t length, char* out, size_t limit) {
  out[0] = '\0';
  if (text == nullptr || length == 0 || limit == 0) return 0;
  // Every character gives one or two bytes, so converting only the units that can still matter
  // bounds the work; the bytes are cut to the limit afterwards.
  if (length > limit + 1) length = limit + 1;
  wchar_t* units = new (std::nothrow) wchar_t[length];
  char* bytes = new (std::nothrow) char[2 * length];
  size_t kept = 0;
  if (units != nullptr && bytes != nullptr) {
    // Code page 932 has no character outside the basic plane: a surrogate pair (or a stray
    // half of one) is one character without a form, so it becomes one "?", not two.
    size_t count = 0;
    for (size_t i = 0; i < length; ++i) {
      bool high = text[i] >= 0xD800 && text[i] <= 0xDBFF;
      bool low = text[i] >= 0xDC00 && text[i] <= 0xDFFF;
      if (high && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) ++i;
      units[count++] = (high || low) ? L'?' : text[i];
    }
    // No best fit: a character without a code page 932 form must arrive as "?", never as some
    // look-alike the user did not type.
    BOOL usedDefault = FALSE;
    int written =
        WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, units, static_cast<int>(count), bytes,
                            static_cast<int>(2 * count), "?", &usedDefault);
    if (written > 0) {
      kept = FitLineLength(bytes, static_cast<size_t>(written), limit);
      std::memcpy(out, bytes, kept);
    }
  }
  delete[] units;
  delete[] bytes;
  out[kept] = '\0';
  return kept;
}

}  // namespace mimoza
