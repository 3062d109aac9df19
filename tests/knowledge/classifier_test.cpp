// tests/knowledge/classifier_test.cpp: the reply classifier and the reserved keys' defaults.
#include <string>

#include "knowledge/knowledge.h"
#include "tests/knowledge/test_support.h"

namespace mimoza {
namespace {

using testing::Cp932;
using testing::InTempDir;
using testing::ReadBytes;
using testing::WriteBytes;

TEST(ReservedKeys, DefaultsAreTheirCodePage932Texts) {
  const struct {
    const ReservedKey& reserved;
    const char* key;
    const char* utf8;
  } kCases[] = {
      {kTitleKey, "<SMES0>", "ミモザ"},
      {kOfferLearnKey, "<SMES1>", "覚えていい？"},
      {kAskAnswerKey, "<SMES2>", "何て言えばいい？"},
      {kLearnedKey, "<SMES3>", "OK 学習した"},
      {kOfferAddKey, "<SMES4>", "情報を新たに加える？"},
      {kYesListKey, "<YES>", "はい|うん|y|Y|^やって|^頼む|おう"},
      {kNoListKey, "<NO>",
       "いいえ|ちゃう|ちがう|違う|n|N|^やって|^やめ|いらん|^だめ|ううん|いや|やだ|いらない|結構です|嫌だ"},
  };
  for (const auto& c : kCases) {
    EXPECT_STREQ(c.reserved.key, c.key);
    EXPECT_EQ(c.reserved.defaultText, Cp932(c.utf8)) << c.key;
  }
}

class Classifier : public InTempDir {
 protected:
  Dictionary dictionary;  // kept across the calls of a test, as the conversation keeps it
};

TEST_F(Classifier, DefaultListsSeedThemselvesAndMatchAtTheStart) {
  const struct {
    const char* reply;
    ReplyKind kind;
  } kCases[] = {
      {"はい", Yes},
      {"うんうん", Yes},
      {"おう", Yes},
      {"頼むわ", Yes},
      {"yes", Yes},
      {"Yeah", Yes},
      {"いいえ", No},
      {"ちゃうよ", No},
      {"ちがう", No},
      {"違う", No},
      {"いらん", No},
      {"やめて", No},
      {"だめ", No},
      {"no", No},
      {"Nope", No},
      {"ううん", No},  // everyday refusals, at the start of the reply
      {"いや、いい", No},
      {"やだ", No},
      {"いらない", No},
      {"結構です", No},
      {"嫌だよ", No},
      {"うん", Yes},  // and what merely starts alike still consents
      {"嫌いじゃない", Neither},
      {"結構いいね", Neither},
      {"やってみて", No},
      {"まあ、はい", Neither},
      {"よろしく頼む", Neither},
      {"yes, no", Yes},
      {" はい", Neither},
      {"いいよ", Neither},
      {"ok", Neither},
      {"thanks", Neither},
      {"", Neither},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(ClassifyReply(dictionary, Cp932(c.reply).c_str()), c.kind) << c.reply;
  EXPECT_EQ(ClassifyReply(dictionary, nullptr), Neither);
  // Seeded once each, by the first call.
  EXPECT_EQ(ReadBytes("Dictionary.txt"),
            "<KEY><YES></KEY>\r\n<ANS>" + std::string(kYesListKey.defaultText) +
                "</ANS>\r\n<KEY><NO></KEY>\r\n<ANS>" + kNoListKey.defaultText + "</ANS>\r\n");
}

TEST_F(Classifier, TrailingSeparators) {
  const struct {
    const char* yesList;
    const char* reply;
    ReplyKind kind;
  } kCases[] = {
      {"はい|うん|", "まあ、はい", Yes},  // one trailing "|" goes; no anchor remains
      {"はい|うん|", "まあ", Neither},
      {"はい||", "まあ", Yes},  // one "|" stays: its empty branch matches anything
      {"ポ", "ポ", Yes},        // 0x83 0x7C: its second byte is no separator
      {"ポ", "ホ", Neither},
  };
  for (const auto& c : kCases) {
    WriteBytes("Dictionary.txt",
               "<KEY><YES></KEY><ANS>" + Cp932(c.yesList) + "</ANS><KEY><NO></KEY><ANS>x</ANS>");
    EXPECT_EQ(ClassifyReply(dictionary, Cp932(c.reply).c_str()), c.kind)
        << c.yesList << " " << c.reply;
  }
}

TEST_F(Classifier, ListsThatCannotBeHadMatchNothing) {
  std::filesystem::create_directory("Dictionary.txt");
  EXPECT_EQ(ClassifyReply(dictionary, Cp932("はい").c_str()), Neither);
  EXPECT_EQ(ClassifyReply(dictionary, "no"), Neither);
}

}  // namespace
}  // namespace mimoza
