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
      {"<KEY>(a?){40}b</KEY>\n<ANS>1</ANS>\n", "-", "D1:6 error slow-key"},
      {"<KEY>(a?){5000}a{5000}</KEY>\n<ANS>1</ANS>\n", "-", "D1:6 error search-budget"},
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

// What no typed line can reach: control characters and the other code of a character in keys,
// the text after a bracket that never closes, answers past what a lookup reads. Each case is the
// dictionary's stored bytes (LF line ends) and what the checker finds ("" for nothing).
TEST(DictionaryCheck, WhatNoTypedLineReaches) {
  const auto answers = [](const char* key, int32_t count) {
    std::string entry = std::string("<KEY>") + key + "</KEY>\n";
    for (int32_t i = 0; i < count; ++i) entry += "<ANS>" + std::to_string(i) + "</ANS>\n";
    return entry;
  };
  const struct {
    std::string dictionary;
    const char* found;
  } kCases[] = {
      {"<KEY>a\x07"
       "b</KEY>\n<ANS>1</ANS>\n",
       "D1:7 warning key-control-character"},
      {"<KEY>a\tb\x7F</KEY>\n<ANS>1</ANS>\n", "D1:7 warning key-control-character"},
      {"<KEY>a\nb</KEY>\n<ANS>1</ANS>\n", "D1:7 warning key-control-character"},
      // 0x7F after a lead byte is that character's second byte, told as no code page 932.
      {"<KEY>\x81\x7F</KEY>\n<ANS>1</ANS>\n", "D1:6 warning not-cp932"},
      {"<KEY>ab[cd</KEY>\n<ANS>1</ANS>\n", "D1:6 warning unclosed-bracket"},
      {"<KEY>ab{2</KEY>\n<ANS>1</ANS>\n", "D1:6 warning unclosed-bracket"},
      // The group then ends at the end of the text, and "(a|)" matches every line.
      {"<KEY>(a|[b)</KEY>\n<ANS>1</ANS>\n",
       "D1:6 warning unclosed-bracket | D1:6 error matches-every-line"},
      {"<KEY>a[[]b|\\[c|d{1,2}</KEY>\n<ANS>1</ANS>\n", ""},
      // A "[" after a ")" that closes nothing is never read at all.
      {"<KEY>a)[b</KEY>\n<ANS>1</ANS>\n", ""},
      // 纊 as NEC's selection holds it, and as typed text does; Ⅰ as IBM's extension holds it.
      {"<KEY>\x82\xA0\xED\x40</KEY>\n<ANS>1</ANS>\n", "D1:7 warning untyped-form"},
      {"<KEY>\xFA\x5C</KEY>\n<ANS>1</ANS>\n", ""},
      {"<KEY>[\x87\x54\xFA\x4A]</KEY>\n<ANS>1</ANS>\n", "D1:8 warning untyped-form"},
      {"<KEY>\x87\x90|\x81\xE0</KEY>\n<ANS>1</ANS>\n", "D1:6 warning untyped-form"},
      {"<KEY><NO></KEY>\n<ANS>\x82\xA2\x82\xA2|\xEE\xF9</ANS>\n", "D2:9 warning untyped-form"},
      // In an answer it is shown as it is: nothing to tell.
      {"<KEY>a</KEY>\n<ANS>\xED\x40</ANS>\n", ""},
      {answers("k", kMaxAnswers), ""},
      {answers("k", kMaxAnswers + 2), "D65538:1 warning answers-past-limit"},
      // Together: the answer a line matching both keys would read 65,537th.
      {answers("a", 40000) + answers("b", 40000), "D65539:1 note answers-past-limit"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(Dump(File(c.dictionary), StoredFile{}), c.found) << c.dictionary.substr(0, 60);
  }
}

// The dictionary a first session writes: every prompt with its default. Mimoza's own lists are
// not the user's to fix (their "^" alternatives anchor them on purpose), today's or the earlier
// "<NO>" a file seeded before keeps; the same text changed by a byte is the user's, and told.
TEST(DictionaryCheck, MimozasOwnDefaultsAreNotTold) {
  const auto seeded = [](const char* noList) {
    std::string defaults;
    for (const ReservedKey* key : {&kTitleKey, &kOfferLearnKey, &kYesListKey, &kNoListKey,
                                   &kAskAnswerKey, &kLearnedKey, &kOfferAddKey}) {
      const char* text = key == &kNoListKey ? noList : key->defaultText;
      defaults += std::string("<KEY>") + key->key + "</KEY>\r\n<ANS>" + text + "</ANS>\r\n";
    }
    return defaults + Stored(Cp932("<KEY>ねこねこ</KEY>\n<ANS>にゃーん</ANS>\n"));
  };
  std::vector<CheckDiagnostic> diagnostics;
  CheckFigures figures;
  ASSERT_TRUE(CheckDataTexts(File(seeded(kNoListKey.defaultText)), StoredFile{}, CheckOptions{},
                             &diagnostics, &figures));
  EXPECT_TRUE(diagnostics.empty());
  EXPECT_EQ(figures.missingPrompts, 0u);
  EXPECT_EQ(Dump(File(seeded(kFormerNoListText)), StoredFile{}), "");
  const std::string changed = std::string(kFormerNoListText) + "|x";
  EXPECT_EQ(Dump(File(seeded(changed.c_str())), StoredFile{}), "D8:6 warning anchor-alternative");
  // Under the other list's key, a default is a list like any other.
  std::string swapped = seeded(kNoListKey.defaultText);
  swapped.replace(swapped.find("<KEY><YES>"), 10, "<KEY><NOX>");
  swapped.replace(swapped.find("<KEY><NO>"), 9, "<KEY><YES>");
  EXPECT_EQ(Dump(File(swapped), StoredFile{}), "D8:6 warning anchor-alternative");
}

// Missing prompts are one note that names them all; one missing prompt is named with its default.
TEST(DictionaryCheck, PromptsMissingAndFilesAbsentOrUnreadable) {
  std::vector<CheckDiagnostic> diagnostics;
  CheckFigures figures;
  ASSERT_TRUE(CheckDataTexts(File(""), StoredFile{}, CheckOptions{}, &diagnostics, &figures));
  ASSERT_EQ(diagnostics.size(), 1u) << "one note for every prompt";
  EXPECT_EQ(diagnostics[0].rule, RulePromptMissing);
  EXPECT_EQ(diagnostics[0].line, 0u);
  EXPECT_EQ(figures.missingPrompts, 0x7Fu);
  const CheckText& all = diagnostics[0].message;
  EXPECT_EQ(all.id, CheckMsgPromptsMissing);
  ASSERT_EQ(all.arguments.size(), 2u);
  EXPECT_EQ(all.arguments[0].text, "7");
  ASSERT_EQ(all.arguments[1].arguments.size(), 7u);
  EXPECT_EQ(all.arguments[1].arguments[1].arguments[0].text, "<SMES1>");
  EXPECT_TRUE(MissingPromptsNote(figures.missingPrompts).message == all);

  diagnostics.clear();
  ASSERT_TRUE(CheckDataTexts(File("<KEY><SMES0></KEY><ANS>t</ANS><KEY><SMES1></KEY><ANS>1</ANS>"
                                  "<KEY><SMES2></KEY><ANS>2</ANS><KEY><SMES3></KEY><ANS>3</ANS>"
                                  "<KEY><SMES4></KEY><ANS>4</ANS><KEY><YES></KEY><ANS>y</ANS>"),
                             StoredFile{}, CheckOptions{}, &diagnostics));
  ASSERT_EQ(diagnostics.size(), 1u);
  EXPECT_EQ(diagnostics[0].message.id, CheckMsgPromptMissing);
  ASSERT_EQ(diagnostics[0].message.arguments.size(), 3u);
  EXPECT_EQ(diagnostics[0].message.arguments[0].text, "<NO>");

  diagnostics.clear();
  ASSERT_TRUE(CheckDataTexts(StoredFile{}, StoredFile{}, CheckOptions{}, &diagnostics));
  ASSERT_EQ(diagnostics.size(), 1u) << "no dictionary: one note";
  StoredFile unreadable;
  unreadable.present = true;
  unreadable.error = EACCES;
  EXPECT_EQ(Dump(unreadable, unreadable), "D0:0 error unreadable | B0:0 error unreadable");
}

// The worst-case turn: nothing for keys a lookup settles without searching; a key past its share
// is an error and is charged what it takes; many of them are charged at most the line's lookup.
TEST(DictionaryCheck, TheWorstTurn) {
  const auto figures = [](const std::string& dictionary) {
    std::vector<CheckDiagnostic> diagnostics;
    CheckFigures found;
    EXPECT_TRUE(
        CheckDataTexts(File(dictionary), StoredFile{}, CheckOptions{}, &diagnostics, &found));
    return found;
  };
  EXPECT_EQ(figures(Cp932("<KEY>ねこ</KEY><ANS>1</ANS><KEY>(a|b)c</KEY><ANS>2</ANS>")).turnSteps,
            0);
  const CheckFigures ordinary = figures("<KEY>a.*b</KEY><ANS>1</ANS>");
  EXPECT_GT(ordinary.turnSteps, 0);
  EXPECT_LE(ordinary.turnSteps, kKeyShareSteps);
  EXPECT_EQ(figures("<KEY>a.*b</KEY><ANS>1</ANS><KEY>a.*b</KEY><ANS>2</ANS>").turnSteps,
            ordinary.turnSteps)
      << "a lookup searches a key text once";
  const CheckFigures slow = figures("<KEY>(a?){40}b</KEY><ANS>1</ANS>");
  EXPECT_GT(slow.turnSteps, kKeyShareSteps);
  EXPECT_FALSE(slow.turnCut);
  std::string hostile;
  for (int32_t i = 0; i < 6; ++i) {
    hostile += "<KEY>(a?){" + std::to_string(600 + i) + "}b</KEY><ANS>1</ANS>";
  }
  const CheckFigures cut = figures(hostile);
  EXPECT_TRUE(cut.turnCut);
  EXPECT_EQ(cut.turnSteps, kLineLookupSteps);
  EXPECT_LE(TurnMilliseconds(cut.turnSteps), kTurnMilliseconds);
  EXPECT_EQ(TurnMilliseconds(kTurnSteps), kTurnMilliseconds);
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
