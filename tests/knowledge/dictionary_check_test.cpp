// tests/knowledge/dictionary_check_test.cpp: the checker, each rule on the smallest files that
// break it (a table), a clean default dictionary, the notes on prompts, the cap on what one rule
// reports, and files read from disk.
#include "knowledge/dictionary_check.h"

#include <sys/stat.h>

#include <string>
#include <vector>

#include "knowledge/knowledge.h"
#include "knowledge/knowledge_internal.h"
#include "tests/knowledge/test_support.h"

namespace mimoza {
namespace {

using testing::Cp932;
using testing::InTempDir;
using testing::WriteBytes;

// Stored: a text given with LF line ends as the file stores it, with CR LF.
std::string Stored(const std::string& text) {
  std::string stored;
  for (const char c : text) {
    if (c == '\n') stored += '\r';
    stored += c;
  }
  return stored;
}

StoredFile File(const std::string& bytes) {
  StoredFile file;
  file.bytes = bytes;
  file.present = true;
  return file;
}

// Dump: "FILE:LINE:COLUMN severity rule" for each diagnostic, " | " between them, the notes on
// missing prompts left out (most files here have none).
std::string Dump(const StoredFile& dictionary, const StoredFile& quips) {
  std::vector<CheckDiagnostic> diagnostics;
  EXPECT_TRUE(CheckDataTexts(dictionary, quips, CheckOptions{}, &diagnostics));
  const char* kSeverities[] = {"error", "warning", "note"};
  std::string dump;
  for (const CheckDiagnostic& d : diagnostics) {
    if (d.rule == RulePromptMissing) continue;
    EXPECT_NE(d.message.id, CheckMsgVerbatim) << "every diagnostic says something";
    if (!dump.empty()) dump += " | ";
    dump += std::string(d.file == CheckedDictionary ? "D" : "B") + std::to_string(d.line) + ":" +
            std::to_string(d.column) + " " + kSeverities[d.severity] + " " +
            kCheckRuleNames[d.rule];
  }
  return dump;
}

TEST(DictionaryCheck, EachRuleOnItsSmallestFile) {
  const std::string longKey(kMaxKeyBytes + 1, 'x');
  const std::string longText(kLineBufferBytes + 1, 'y');
  std::string manyQuips;
  for (int32_t i = 0; i <= 60000; ++i) manyQuips += "q\n";
  const struct {
    std::string dictionary;  // UTF-8 with LF line ends, unless raw
    std::string quips;       // Boke.dat's bytes; "-" for no Boke.dat
    const char* found;
    bool raw = false;  // the dictionary's bytes as they are stored
  } kCases[] = {
      // Structure.
      {"<KEY>a</KEY>\n<ANS>1</ANS>\n<KEY>b\n<ANS>2</ANS>\n<KEY>c</KEY>\n<ANS>3</ANS>\n", "-",
       "D3:1 error unclosed-key"},
      {"<KEY>a</KEY>\n<ANS>1</ANS>\n<KEY>b\n<ANS>2</ANS>\n", "-", "D3:1 error unclosed-key"},
      {"<KEY>a</KEY>\n<ANS>1\n<KEY>b</KEY>\n<ANS>2</ANS>\n", "-", "D2:1 error unclosed-answer"},
      {"<KEY>a</KEY>\n<ANS>1\n", "-", "D2:1 error unclosed-answer"},
      {"<KEY>a</KEY>\n<ANS>1</ANS></ANS>\n</KEY>\n", "-",
       "D2:13 error stray-close | D3:1 error stray-close"},
      {"<KEY>a</KEY>\n<ANS>1</ANS>\nhello\n", "-", "D3:1 error stray-text"},
      {"<ANS>0</ANS>\n<KEY>a</KEY>\n<ANS>1</ANS>\n", "-", "D1:1 error answer-without-key"},
      {"<KEY>a</KEY>\n<ANS>use <ANS> here</ANS>\n", "-", "D2:10 error tag-in-text"},
      {"<KEY>a<ANS>b</KEY>\n<ANS>1</ANS>\n", "-", "D1:7 error tag-in-text"},
      {"<KEY>a</KEY>\n<ANS>1</ANS>\n<KEY x>b</KEY>\n<ANS>2</ANS>\n", "-", "D3:1 error key-tag"},
      {"<KEY>a</KEY>\n<ANS>1</ANS>\n\x1a<KEY>b</KEY>\n<ANS>2</ANS>\n", "-",
       "D3:1 warning end-mark"},
      // Keys.
      {"<KEY>a{200000}</KEY>\n<ANS>1</ANS>\n", "-", "D1:6 error never-matches"},
      {"<KEY>a^b</KEY>\n<ANS>1</ANS>\n", "-", "D1:6 error never-matches"},
      {"<KEY>(|x)</KEY>\n<ANS>1</ANS>\n", "-", "D1:6 error matches-every-line"},
      {"<KEY>SMES</KEY>\n<ANS>1</ANS>\n<KEY>ME.1</KEY>\n<ANS>2</ANS>\n", "-",
       "D1:6 error prompt-text | D3:6 error prompt-text"},
      {"<KEY>(a?){40}b</KEY>\n<ANS>1</ANS>\n", "-", "D1:6 warning slow-key"},
      {"<KEY>(a?){5000}a{5000}</KEY>\n<ANS>1</ANS>\n", "-", "D1:6 warning search-budget"},
      {"<KEY>a</KEY>\n<KEY>b</KEY>\n<ANS>1</ANS>\n<KEY>c</KEY>\n", "-",
       "D1:6 warning no-answer | D4:6 warning no-answer"},
      {"<KEY>^はい|うん</KEY>\n<ANS>1</ANS>\n<KEY>(a|b)$|c</KEY>\n<ANS>2</ANS>\n", "-",
       "D1:6 warning anchor-alternative | D3:6 warning anchor-alternative"},
      {"<KEY>" + longKey + "</KEY>\n<ANS>1</ANS>\n", "-", "D1:6 warning key-cut"},
      // Text.
      {"<KEY>\x82\xa0</KEY>\r\n<ANS>\xff\x82\r\n\x82</ANS>\r\n", "-",
       "D2:6 warning not-cp932 | D2:7 warning not-cp932 | D3:1 warning not-cp932", true},
      {"<KEY>a</KEY>\n<ANS>a\x1b[2J</ANS>\n", "-", "D2:7 warning control-character"},
      {"<KEY>a</KEY>\n<ANS>" + longText + "</ANS>\n", "-", "D2:6 warning long-text"},
      // Entries.
      {"<KEY>a</KEY>\n<ANS>1</ANS>\n<ANS>1</ANS>\n<KEY>a</KEY>\n<ANS>1</ANS>\n", "-",
       "D3:1 note duplicate | D5:1 note duplicate"},
      {"<KEY><SMES1></KEY>\n<ANS>1</ANS>\n<ANS>2</ANS>\n", "-", "D1:6 note prompt-answers"},
      // Boke.dat.
      {"", manyQuips, "B60001:1 warning quip-lines"},
      {"", std::string(kLineBufferBytes, 'q') + "\nshort\n", "B1:1 warning quip-cut"},
      {"", "one\rtwo\r", "B1:1 warning quip-no-line-end"},
      {"", "a\n\nb\x07\n", "B2:1 note quip-empty-line | B3:2 warning control-character"},
      {"", "\x1a\x81\n", "B1:1 warning end-mark | B1:2 warning not-cp932"},
  };
  for (const auto& c : kCases) {
    const StoredFile dictionary = File(c.raw ? c.dictionary : Stored(Cp932(c.dictionary)));
    const StoredFile quips = c.quips == "-" ? StoredFile{} : File(c.quips);
    EXPECT_EQ(Dump(dictionary, quips), c.found) << c.dictionary.substr(0, 200);
  }
}

// The dictionary a first session writes: every prompt with its default. Only the lists' anchors
// are worth a word: "^やって" makes the whole no list match at line starts only, so "それは違う" is
// not a no.
TEST(DictionaryCheck, TheDefaultDictionaryHasNoError) {
  std::string defaults;
  for (const ReservedKey* key : {&kTitleKey, &kOfferLearnKey, &kYesListKey, &kNoListKey,
                                 &kAskAnswerKey, &kLearnedKey, &kOfferAddKey}) {
    defaults +=
        std::string("<KEY>") + key->key + "</KEY>\r\n<ANS>" + key->defaultText + "</ANS>\r\n";
  }
  defaults += Stored(Cp932("<KEY>ねこねこ</KEY>\n<ANS>にゃーん</ANS>\n"));
  std::vector<CheckDiagnostic> diagnostics;
  ASSERT_TRUE(CheckDataTexts(File(defaults), StoredFile{}, CheckOptions{}, &diagnostics));
  EXPECT_EQ(Dump(File(defaults), StoredFile{}),
            "D6:6 warning anchor-alternative | D8:6 warning anchor-alternative");
  ASSERT_EQ(diagnostics.size(), 2u);
  // "a "^" in one alternative of the no list "..." anchors the whole list: ..."
  const CheckText& anchor = diagnostics[1].message;
  EXPECT_EQ(anchor.id, CheckMsgAnchorStart);
  ASSERT_EQ(anchor.arguments.size(), 2u);
  EXPECT_EQ(anchor.arguments[0].id, CheckMsgListNamed);
  ASSERT_FALSE(anchor.arguments[0].arguments.empty());
  EXPECT_EQ(anchor.arguments[0].arguments[0].id, CheckMsgRoleNoList);
  EXPECT_EQ(anchor.arguments[1].id, CheckMsgWordList);
}

TEST(DictionaryCheck, PromptsMissingAndFilesAbsentOrUnreadable) {
  std::vector<CheckDiagnostic> diagnostics;
  ASSERT_TRUE(CheckDataTexts(File(""), StoredFile{}, CheckOptions{}, &diagnostics));
  ASSERT_EQ(diagnostics.size(), 7u) << "one note for each prompt";
  for (const CheckDiagnostic& d : diagnostics) {
    EXPECT_EQ(d.rule, RulePromptMissing);
    EXPECT_EQ(d.line, 0u);
  }
  EXPECT_EQ(diagnostics[1].message.id, CheckMsgPromptMissing);
  ASSERT_FALSE(diagnostics[1].message.arguments.empty());
  EXPECT_EQ(diagnostics[1].message.arguments[0].text, "<SMES1>");
  diagnostics.clear();
  ASSERT_TRUE(CheckDataTexts(StoredFile{}, StoredFile{}, CheckOptions{}, &diagnostics));
  ASSERT_EQ(diagnostics.size(), 1u) << "no dictionary: one note";
  StoredFile unreadable;
  unreadable.present = true;
  unreadable.error = EACCES;
  EXPECT_EQ(Dump(unreadable, unreadable), "D0:0 error unreadable | B0:0 error unreadable");
}

// A file broken everywhere reports each rule's first hundred places and a note on the rest.
TEST(DictionaryCheck, ARuleReportsAHundredPlaces) {
  std::string closes = "<KEY>a</KEY><ANS>1</ANS>";
  for (int32_t i = 0; i < 150; ++i) closes += "</ANS>\r\n";
  std::vector<CheckDiagnostic> diagnostics;
  ASSERT_TRUE(CheckDataTexts(File(closes), StoredFile{}, CheckOptions{}, &diagnostics));
  size_t stray = 0;
  for (const CheckDiagnostic& d : diagnostics) {
    if (d.rule != RuleStrayClose) continue;
    ++stray;
    if (d.severity == CheckNote) {
      // "50 more places like this are not shown"
      const CheckText fifty{CheckMsgVerbatim, "50", {}};
      EXPECT_TRUE(d.message == (CheckText{CheckMsgMorePlaces, "", {fifty}}));
    }
  }
  EXPECT_EQ(stray, 101u);
}

class DictionaryCheckFiles : public InTempDir {};

TEST_F(DictionaryCheckFiles, ReadsTheWorkingDirectorysFiles) {
  WriteBytes("Dictionary.txt", "<KEY>a*</KEY>\r\n<ANS>1</ANS>\r\n");
  ASSERT_EQ(mkdir("Boke.dat", 0755), 0);
  std::vector<CheckDiagnostic> diagnostics;
  ASSERT_TRUE(CheckDataFiles(CheckOptions{}, &diagnostics));
  size_t everyLine = 0;
  size_t unreadable = 0;
  for (const CheckDiagnostic& d : diagnostics) {
    everyLine += d.rule == RuleMatchesEveryLine;
    unreadable += d.rule == RuleUnreadable && d.file == CheckedQuips;
  }
  EXPECT_EQ(everyLine, 1u);
  EXPECT_EQ(unreadable, 1u) << "a folder is no quip file";
  const StoredFile missing = ReadStoredFile("Nothing.txt");
  EXPECT_FALSE(missing.present);
  EXPECT_EQ(ReadStoredFile("Dictionary.txt").bytes, "<KEY>a*</KEY>\r\n<ANS>1</ANS>\r\n");
}

}  // namespace
}  // namespace mimoza
