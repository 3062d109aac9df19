// tests/conversation/messages_test.cpp: the message table in its two languages (every text there,
// valid code page 932, the same placeholders, the Japanese equal to the UTF-8 beside it in the
// source), how placeholders are filled, and the Japanese words of a turn's record and of a
// diagnostic, each composed once as golden text.
#include "conversation/messages.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/cp932.h"
#include "conversation/turn_record.h"
#include "tests/knowledge/test_support.h"

namespace mimoza {
namespace {

using testing::Cp932;

// Utf8: code page 932 text in UTF-8; "<not code page 932>" when iconv refuses a byte of it.
std::string Utf8(const std::string& cp932) {
  iconv_t cd = iconv_open("UTF-8", "CP932");
  std::string in = cp932;
  std::string out(in.size() * 3 + 4, '\0');
  char* inPtr = in.data();
  char* outPtr = out.data();
  size_t inLeft = in.size();
  size_t outLeft = out.size();
  const size_t done = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  if (done == static_cast<size_t>(-1)) return "<not code page 932>";
  out.resize(out.size() - outLeft);
  return out;
}

// Placeholders: the placeholders of a code page 932 text, "{1}" ... "{D}", stepping by
// characters; a "{" that starts none is reported as "{?".
std::multiset<std::string> Placeholders(std::string_view text) {
  std::multiset<std::string> found;
  for (size_t at = 0; at < text.size(); at += ValidCharacterLength(text.data(), at, text.size())) {
    if (IsLeadByte(static_cast<unsigned char>(text[at])) || text[at] != '{') continue;
    const std::string_view tail = text.substr(at, 3);
    const bool known = tail.size() == 3 && tail[2] == '}' &&
                       std::string_view("123456789DQ").find(tail[1]) != std::string_view::npos;
    found.insert(known ? std::string(tail) : "{?");
  }
  return found;
}

TEST(MessageTable, EveryMessageHasBothTextsWithTheSamePlaceholders) {
  for (int32_t i = 0; i < MessageCount; ++i) {
    const auto id = static_cast<MessageId>(i);
    SCOPED_TRACE("message " + std::to_string(i));
    const std::string english(MessageText(LanguageEnglish, id));
    const std::string japanese(MessageText(LanguageJapanese, id));
    EXPECT_FALSE(english.empty());
    EXPECT_FALSE(japanese.empty());
    for (const char c : english) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << english;
    // Valid code page 932: iconv takes every byte, and gives them back.
    const std::string utf8 = Utf8(japanese);
    EXPECT_EQ(Cp932(utf8), japanese) << utf8;
    EXPECT_EQ(Placeholders(english), Placeholders(japanese)) << english << " / " << utf8;
    EXPECT_EQ(Placeholders(english).count("{?"), 0u) << english;
  }
  EXPECT_TRUE(MessageText(LanguageEnglish, MessageCount).empty());
}

// The Japanese texts are the escapes scripts/make-message-texts writes from the "// ja:" comment
// above each: one comment per message, in the table's order, and each escape its comment.
TEST(MessageTable, JapaneseTextsAreTheirComments) {
  std::ifstream source(std::string(MIMOZA_SOURCE_DIR) + "/conversation/messages.cpp");
  ASSERT_TRUE(source.good());
  std::vector<std::string> comments;
  for (std::string line; std::getline(source, line);) {
    const size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos) continue;
    const std::string_view text = std::string_view(line).substr(start);
    if (text.substr(0, 7) == "// ja: ") comments.emplace_back(text.substr(7));
    if (text.substr(0, 7) == "//     " && !comments.empty()) comments.back() += text.substr(7);
  }
  ASSERT_EQ(comments.size(), static_cast<size_t>(MessageCount));
  for (int32_t i = 0; i < MessageCount; ++i) {
    EXPECT_EQ(Cp932(comments[i]), MessageText(LanguageJapanese, static_cast<MessageId>(i)))
        << "message " << i << ": " << comments[i];
  }
}

TEST(MessageTable, FillsPlaceholdersByCharacters) {
  const std::string_view two[] = {"a", "b"};
  const struct {
    std::string text;
    bool utf8;
    std::string filled;
  } kCases[] = {
      {"{2}-{1}-{3}", false, "b-a-"},  // a placeholder without an argument stays empty
      {"{D} {Q} {0} {x}", false, std::string(kDictionaryFile) + " " + kQuipFile + " {0} {x}"},
      {Cp932("ボケ1}"), false, Cp932("ボケ1}")},  // ケ's second byte is "{": no placeholder
      {"\xE3\x81\x82{1}", true,
       "\xE3\x81\x82"
       "a"},  // UTF-8: "{" after a lead-like byte
      {"{1", false, "{1"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(FillPlaceholders(c.text, two, c.utf8), c.filled) << c.text;
  }
  EXPECT_EQ(Compose(LanguageEnglish, MsgStoreFailed, {"Disk full"}),
            "could not store the pair: Disk full");
}

class JapaneseWords : public testing::InTempDir {};

// A host that holds Ctrl, so a known line gets the offer to add an answer.
class CtrlHost final : public ConversationHost {
 public:
  void SetTitle(const char*) override {}
  void SetResponseLine(const char*) override {}
  void SetInputText(const char*) override {}
  bool IsControlKeyDown() override { return true; }
  void ShowInfoBox(const char*, const char*) override {}
};

TEST_F(JapaneseWords, TheRecordOfATurn) {
  testing::WriteBytes("Dictionary.txt", "<KEY><SMES0></KEY>\r\n<ANS>t</ANS>\r\n" +
                                            Cp932("<KEY>ねこ</KEY>\r\n<ANS>にゃーん</ANS>\r\n"
                                                  "<ANS>ごろ\r\nごろ</ANS>\r\n"));
  CtrlHost host;
  Conversation engine(host);
  TurnRecorder turn;
  engine.SetTurnObserver(&turn);
  engine.OpenConversation();
  srand(testing::SeedDrawing(0));  // the roll: 0; the answer: the first
  engine.SubmitLine(Cp932("ねこが好き").c_str());
  EXPECT_EQ(Utf8(DescribeTurn(turn, LanguageJapanese)),
            "> ねこが好き\n"
            "状態: 通常の会話\n"
            "ボケの抽選: 0（1 ならボケ: 3277/32768 (10.00%)）、Boke.dat: ボケなし\n"
            "一致したキー:\n"
            "  Dictionary.txt:3  キー ねこ  一致 [ねこ]が好き\n"
            "答えの候補 2 個:\n"
            "  1. （選ばれた）にゃーん  Dictionary.txt:4\n"
            "  2. ごろ ごろ  Dictionary.txt:5\n"
            "選ばれた文: 2 個のうち 1 番目の答え（Dictionary.txt:4）、1/2 (50.00%)\n"
            "表示: 答えのある行で Ctrl が押されたので、答えを加えてよいかの問い、<SMES4>\n"
            "決まり文句 <SMES4>（答えを加えてよいかの問い）、候補 1 個:\n"
            "  （辞書になかったので、既定の文を先に保存しました）\n"
            "  1. （選ばれた）情報を新たに加える？  Dictionary.txt:8（キー <SMES4>）  1/1 "
            "(100.00%)\n");
}

TEST(JapaneseWordsOfTheChecker, ADiagnostic) {
  StoredFile dictionary;
  dictionary.present = true;
  dictionary.bytes =
      "<KEY>a</KEY>\r\n<ANS>1</ANS>\r\n<KEY>b\r\n<ANS>2</ANS>\r\n<KEY>c</KEY>\r\n"
      "<ANS>3</ANS>\r\n<KEY>S</KEY>\r\n<ANS>4</ANS>\r\n";
  std::vector<CheckDiagnostic> diagnostics;
  ASSERT_TRUE(CheckDataTexts(dictionary, StoredFile{}, CheckOptions{}, &diagnostics));
  ASSERT_GE(diagnostics.size(), 2u);
  EXPECT_EQ(
      Utf8(ComposeCheck(LanguageJapanese, diagnostics[0].message)),
      "「<KEY>」が 4 行目の「<ANS>」より前で閉じていません。キーは 5 行目の「</KEY>」まで続き、"
      "間の項目 1 個は読まれません");
  EXPECT_EQ(
      Utf8(ComposeCheck(LanguageJapanese, diagnostics[1].message)),
      "キー \"S\" は決まり文句のキー「<SMES1>」（この行を覚えてよいかの問い）、「<SMES2>」（何と"
      "答えればよいかの問い）、「<SMES3>」（覚えたという知らせ）、「<SMES4>」（答えを加えてよい"
      "かの問い）、「<YES>」（はいの一覧）に一致します。その答えがそれらの候補に加わり、代わりに"
      "選ばれることがあります");
}

}  // namespace
}  // namespace mimoza
