// tests/knowledge/edited_lines_test.cpp: what mimoza edit needs of the format: the line diff of
// an edited copy (golden alignments, the shortest script against a reference LCS, and the
// bounded path on a large file), the count of entries, and the check in pieces against the
// check of the whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "knowledge/dictionary_store.h"

namespace mimoza {
namespace {

// Lines: one line per letter.
std::vector<uint64_t> Lines(const std::string& letters) {
  std::vector<uint64_t> lines;
  for (const char c : letters) lines.push_back(LineHash(std::string(1, c)));
  return lines;
}

// Aligned: the alignment as one letter per edited line: the written line's index, or "-".
std::string Aligned(const std::string& written, const std::string& edited) {
  std::string dump;
  for (const size_t kept : AlignLines(Lines(written), Lines(edited))) {
    dump += kept == kNoLine ? '-' : static_cast<char>('0' + kept);
  }
  return dump;
}

TEST(AlignLines, KeepsTheLinesAnEditLeaves) {
  const struct {
    const char* written;
    const char* edited;
    const char* kept;
  } kCases[] = {
      {"abc", "abc", "012"},
      {"abc", "", ""},
      {"", "abc", "---"},
      {"abcd", "abXd", "01-3"},        // one line changed
      {"abcd", "aXbcd", "0-123"},      // one added
      {"abcd", "acd", "023"},          // one removed
      {"abcabc", "abc", "012"},        // the first of equal lines
      {"aab", "ab", "02"},             // twins: the shared end first
      {"abcdef", "fedcba", "5-----"},  // reversed: one line stays
      {"xaxbx", "xbxax", "03--4"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(Aligned(c.written, c.edited), c.kept) << c.written << " -> " << c.edited;
  }
}

// LcsLength: the reference: the longest common subsequence by dynamic programming.
size_t LcsLength(const std::vector<uint64_t>& a, const std::vector<uint64_t>& b) {
  std::vector<std::vector<size_t>> table(a.size() + 1, std::vector<size_t>(b.size() + 1, 0));
  for (size_t i = a.size(); i-- > 0;) {
    for (size_t j = b.size(); j-- > 0;) {
      table[i][j] =
          a[i] == b[j] ? table[i + 1][j + 1] + 1 : std::max(table[i + 1][j], table[i][j + 1]);
    }
  }
  return table[0][0];
}

// Valid: kept lines are equal and in increasing order; returns how many are kept.
size_t Valid(const std::vector<uint64_t>& written, const std::vector<uint64_t>& edited,
             const std::vector<size_t>& kept) {
  EXPECT_EQ(kept.size(), edited.size());
  size_t count = 0;
  size_t next = 0;
  for (size_t i = 0; i < kept.size(); ++i) {
    if (kept[i] == kNoLine) continue;
    EXPECT_GE(kept[i], next);
    EXPECT_LT(kept[i], written.size());
    EXPECT_EQ(written[kept[i]], edited[i]);
    next = kept[i] + 1;
    ++count;
  }
  return count;
}

TEST(AlignLines, TheShortestScriptAsTheReferenceFindsIt) {
  std::mt19937 random(17);
  for (int round = 0; round < 2000; ++round) {
    std::string written;
    std::string edited;
    for (size_t n = random() % 30; n > 0; --n) written += static_cast<char>('a' + random() % 4);
    for (size_t n = random() % 30; n > 0; --n) edited += static_cast<char>('a' + random() % 4);
    const std::vector<uint64_t> w = Lines(written);
    const std::vector<uint64_t> e = Lines(edited);
    ASSERT_EQ(Valid(w, e, AlignLines(w, e)), LcsLength(w, e)) << written << " -> " << edited;
  }
}

// A large file rewritten in many places takes the bounded path: it still keeps every line that
// the edit left alone, around changed lines, a removed block and an added one.
TEST(AlignLines, ALargeRewriteStillKeepsWhatWasLeft) {
  std::vector<uint64_t> written;
  for (uint64_t i = 0; i < 300000; ++i) written.push_back(LineHash(std::to_string(i)));
  std::vector<uint64_t> edited;
  size_t untouched = 0;
  for (size_t i = 0; i < written.size(); ++i) {
    if (i % 500 == 7) {
      edited.push_back(LineHash("changed " + std::to_string(i)));
    } else if (i >= 100000 && i < 100200) {
      continue;  // removed
    } else {
      edited.push_back(written[i]);
      ++untouched;
    }
    if (i == 200000) {
      for (int added = 0; added < 50; ++added)
        edited.push_back(LineHash("new " + std::to_string(added)));
    }
  }
  EXPECT_EQ(Valid(written, edited, AlignLines(written, edited)), untouched);
}

TEST(CountEntries, CompleteKeysOnly) {
  const struct {
    const char* stored;
    size_t entries;
  } kCases[] = {
      {"", 0},
      {"<KEY>a</KEY>\r\n<ANS>1</ANS>\r\n<KEY>b</KEY>\r\n", 2},
      {"<KEY>a</KEY><KEY x>b</KEY>", 2},
      {"<KEY>a</KEY>\r\n<KEY>never closed", 1},
      {"<ANS>no key</ANS>", 0},
  };
  for (const auto& c : kCases) EXPECT_EQ(CountEntries(c.stored), c.entries) << c.stored;
}

// Checked in pieces, a dictionary gets the diagnostics the whole gets, but for what spans pieces
// (the same pair twice, a prompt with several entries, the counts of places left out).
TEST(CheckEditedDictionary, PiecesSayWhatTheWholeSays) {
  std::string stored;
  std::mt19937 random(5);
  const char* const kKeys[] = {"cat", ".*", "a^b", "S", "dog", "x(", "<YES>", "\x82\xa0\xff"};
  const char* const kAnswers[] = {"meow", "\x01", "bark", "yes|no", "ok"};
  for (int entry = 0; entry < 300; ++entry) {
    stored +=
        std::string(random() % 9 == 0 ? "<KEY x>" : "<KEY>") + kKeys[random() % 8] + "</KEY>\r\n";
    for (size_t n = random() % 3; n > 0; --n) {
      stored += std::string("<ANS>") + kAnswers[random() % 5] + "</ANS>\r\n";
    }
    if (random() % 25 == 0) stored += "<KEY>open\r\n";
    if (random() % 25 == 0) stored += "stray\r\n";
  }
  // A message as its id, text and arguments, nested: two that say the same dump alike.
  const auto said = [](const CheckText& message) {
    const auto dump = [](const auto& self, const CheckText& text) -> std::string {
      std::string out = std::to_string(text.id) + "(" + text.text;
      for (const CheckText& argument : text.arguments) out += "," + self(self, argument);
      return out + ")";
    };
    return dump(dump, message);
  };
  const auto kept = [&said](const std::vector<CheckDiagnostic>& diagnostics) {
    std::vector<std::string> dump;
    for (const CheckDiagnostic& d : diagnostics) {
      if (d.rule == RuleDuplicate || d.rule == RulePromptAnswers || d.line == 0) continue;
      dump.push_back(std::to_string(d.line) + ":" + std::to_string(d.column) + " " +
                     kCheckRuleNames[d.rule] + " " + said(d.message));
    }
    return dump;
  };
  std::vector<CheckDiagnostic> whole;
  ASSERT_TRUE(CheckEditedDictionary(stored, StoredFile{}, &whole, stored.size()));
  std::vector<CheckDiagnostic> pieces;
  ASSERT_TRUE(CheckEditedDictionary(stored, StoredFile{}, &pieces, 512));
  ASSERT_GT(kept(whole).size(), 20u);
  EXPECT_EQ(kept(pieces), kept(whole));
  // One note names the prompts no piece holds: "<YES>" is in some pieces only.
  const auto missing = [&said](const std::vector<CheckDiagnostic>& diagnostics) {
    std::string notes;
    for (const CheckDiagnostic& d : diagnostics) {
      if (d.rule == RulePromptMissing) notes += said(d.message) + "\n";
    }
    return notes;
  };
  const std::string notes = missing(whole);
  EXPECT_EQ(missing(pieces), notes);
  EXPECT_EQ(std::count(notes.begin(), notes.end(), '\n'), 1);
}

}  // namespace
}  // namespace mimoza
