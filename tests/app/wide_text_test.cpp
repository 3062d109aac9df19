// tests/app/wide_text_test.cpp: the dialog's code page 932 <-> UTF-16 edge: characters without
// a code page 932 form, cuts at character boundaries, and texts longer than any buffer.
#include "app/wide_text.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/app/test_support.h"

namespace mimoza {
namespace {

using testing_support::Cp932;

std::string FromWide(const std::wstring& text, size_t limit) {
  std::string out(limit + 1, '\xFF');
  size_t n = Cp932FromWide(text.c_str(), text.size(), out.data(), limit);
  EXPECT_EQ(out[n], '\0');
  return out.substr(0, n);
}

TEST(WideTextTest, ToCp932) {
  const struct {
    std::wstring text;
    size_t limit;
    std::string bytes;
  } kCases[] = {
      {L"", 10, ""},
      {L"ミモザ", 10, "\x83\x7E\x83\x82\x83\x55"},
      {L"表示", 10, "\x95\x5C\x8E\xA6"},       // second byte 0x5C stays a second byte
      {L"ｷｬﾝｾﾙ", 10, "\xB7\xAC\xDD\xBE\xD9"},  // half-width kana: one byte each
      {L"aé€b", 10, "a??b"},                   // no code page 932 form, and no look-alike
      {L"😀", 10, "?"},                         // a surrogate pair is one character
      {L"aあい", 4, "a\x82\xA0"},              // cut before a pair that would be halved
      {L"aあい", 5, "a\x82\xA0\x82\xA2"},
      {L"abc", 0, ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << "limit " << c.limit << " bytes " << c.bytes);
    EXPECT_EQ(FromWide(c.text, c.limit), c.bytes);
  }
}

TEST(WideTextTest, ToCp932ReadsOnlyWhatCanFit) {
  std::wstring huge(100000, L'あ');
  EXPECT_EQ(FromWide(huge, 5999), Cp932(std::wstring(2999, L'あ')));
}

TEST(WideTextTest, FromCp932) {
  wchar_t out[kWideTextSize];
  EXPECT_EQ(WideFromCp932(nullptr, out), 0u);
  EXPECT_STREQ(out, L"");
  EXPECT_EQ(WideFromCp932("\x83\x7E\x83\x82\x83\x55", out), 3u);
  EXPECT_STREQ(out, L"ミモザ");
  EXPECT_EQ(WideFromCp932("\x95\x5C\x8E\xA6 ok", out), 5u);
  EXPECT_STREQ(out, L"表示 ok");

  // Longer than anything the core fetches: cut to 6000 bytes, and never inside a pair.
  std::string longText = "a" + Cp932(std::wstring(3500, L'あ'));
  EXPECT_EQ(WideFromCp932(longText.c_str(), out), 1u + 2999u);
  EXPECT_EQ(std::wstring(out), L"a" + std::wstring(2999, L'あ'));

  // A whole text (the why window's) is not cut.
  EXPECT_EQ(WideFromCp932(std::string_view(longText)), L"a" + std::wstring(3500, L'あ'));
  EXPECT_EQ(WideFromCp932(std::string_view()), L"");
}

}  // namespace
}  // namespace mimoza
