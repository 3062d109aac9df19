// tests/knowledge/random_quips_test.cpp: the generator, RandomInt, the byte helpers, PickQuip.
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "knowledge/knowledge.h"
#include "knowledge/knowledge_internal.h"
#include "tests/knowledge/test_support.h"

namespace mimoza {
namespace {

using testing::InTempDir;
using testing::SeedDrawing;
using testing::WriteBytes;

// RandomIntAt: RandomInt(lo, hi) when the generator draws r.
int32_t RandomIntAt(int32_t r, int32_t lo, int32_t hi) {
  srand(SeedDrawing(r));
  return RandomInt(lo, hi);
}

TEST(Generator, DrawsTheSameSequenceEverywhere) {
  srand(1);  // the state before any seeding
  const int32_t expected[] = {41, 18467, 6334, 26500, 19169};
  for (int32_t value : expected) EXPECT_EQ(rand(), value);
  for (int32_t r : {0, 1, 16383, 32767}) {
    srand(SeedDrawing(r));
    EXPECT_EQ(rand(), r);
  }
}

TEST(Generator, RandomIntSplitsTheOutputsEvenly) {
  std::array<int32_t, 10> counts{};
  for (int32_t r = 0; r < 32768; ++r) {
    const int32_t v = RandomIntAt(r, 0, 9);
    ASSERT_GE(v, 0);
    ASSERT_LE(v, 9);
    ++counts[static_cast<size_t>(v)];
    EXPECT_EQ(v == 1, r >= 3277 && r <= 6553) << r;
  }
  for (size_t v = 0; v < 10; ++v) EXPECT_EQ(counts[v], v == 3 || v == 6 ? 3276 : 3277) << v;
}

// OutputsGiving finds each value's run of outputs by binary search; it must count exactly what
// a walk over every output counts, for pools and quip files of every size that matters.
TEST(Generator, OutputsGivingCountsEveryOutput) {
  std::vector<int32_t> sizes;
  for (int32_t n = 1; n <= 70; ++n) sizes.push_back(n);
  for (int32_t n : {1000, 9999, 32767, 32768, 32769, 59999, 60000, 65536}) sizes.push_back(n);
  for (int32_t n : sizes) {
    std::vector<int32_t> counts(static_cast<size_t>(n));
    for (int32_t r = 0; r < kGeneratorOutputs; ++r) ++counts[RandomIntFrom(r, 0, n - 1)];
    int32_t total = 0;
    for (int32_t i = 0; i < n; ++i) {
      ASSERT_EQ(OutputsGiving(i, n), counts[static_cast<size_t>(i)]) << i << " of " << n;
      total += OutputsGiving(i, n);
    }
    EXPECT_EQ(total, kGeneratorOutputs) << n;
  }
  EXPECT_EQ(OutputsGiving(1, 10), 3277);  // the quip roll
  EXPECT_EQ(OutputsGiving(-1, 10), 0);
  EXPECT_EQ(OutputsGiving(10, 10), 0);
  EXPECT_EQ(OutputsGiving(0, 0), 0);
}

TEST(Generator, RandomIntAtTheEdgesOfItsRange) {
  const struct {
    int32_t r, lo, hi, expected;
  } kCases[] = {
      {32767, 0, 0, 0},
      {32767, 5, 5, 5},
      {16383, 0, 1, 0},
      {16384, 0, 1, 1},
      {32767, 7, 6, 7},
      {0, 7, 6, 7},
      {16384, 0, -3, -1},
      {16383, 0, -3, 0},
      {32767, 0, 59999, 59999},
      {0, -10, -1, -10},
      {32767, INT32_MIN, INT32_MAX, INT32_MIN},  // the count wraps to 0: lo
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(RandomIntAt(c.r, c.lo, c.hi), c.expected) << c.r << " " << c.lo << " " << c.hi;
  }
}

TEST(ByteHelpers, CopyBoundedAndFindByte) {
  char dst[8];
  std::memset(dst, 'x', sizeof dst);
  CopyBounded(dst, "abcdef", 3);
  EXPECT_EQ(std::string(dst, 5), std::string("abc\0x", 5));
  CopyBounded(dst, "ab", 3);
  EXPECT_EQ(std::string(dst, 4), std::string("ab\0\0", 4));
  CopyBounded(dst, "ab", 0);
  EXPECT_EQ(dst[0], '\0');
  const char text[] = "a\nb\n";
  EXPECT_EQ(FindByte(text, '\n', text + 4), text + 1);
  EXPECT_EQ(FindByte(text + 2, '\n', text + 3), nullptr);  // the end is not searched
  EXPECT_EQ(FindByte(text, 'z', text + 4), nullptr);
}

class Quips : public InTempDir {
 protected:
  // PickAt: PickQuip on the file when the generator draws r; "<missing>" when it returns false.
  std::string PickAt(int32_t r, uint32_t outLen = 100) {
    char out[128];
    std::memset(out, '#', sizeof out);
    srand(SeedDrawing(r));
    if (!PickQuip("Boke.dat", out, outLen)) return "<missing>";
    return out;
  }
};

// Quip files as people leave them: every line can be drawn with its LF, the last one also
// without; a file with no line at all gives no quip, like a missing one, and draws nothing.
TEST_F(Quips, EveryLineCanBeDrawn) {
  const struct {
    std::string content;
    int32_t r;
    const char* quip;
  } kCases[] = {
      {"one\r\ntwo\r\nthree\rx\r\ntail without LF", 0, "one\n"},
      {"one\r\ntwo\r\nthree\rx\r\ntail without LF", 8192, "two\n"},
      {"one\r\ntwo\r\nthree\rx\r\ntail without LF", 16384, "three\rx\n"},  // a lone CR stays
      {"one\r\ntwo\r\nthree\rx\r\ntail without LF", 32767, "tail without LF"},
      {"only line", 32767, "only line"},  // saved without a final line end
      {"\x1a"
       "one\n",
       0, "one\n"},                // an end mark is dropped, not an end
      {"a\r\x1a\nb", 32767, "b"},  // even inside a line end
      {"", 0, "<missing>"},        // no line: no quip
  };
  for (const auto& c : kCases) {
    WriteBytes("Boke.dat", c.content);
    EXPECT_EQ(PickAt(c.r), c.quip) << c.content << " r " << c.r;
  }
  srand(5);
  const int32_t first = rand();
  srand(5);
  char out[8] = "keep";
  EXPECT_FALSE(PickQuip("Boke.dat", out, 4));
  EXPECT_STREQ(out, "keep");
  EXPECT_EQ(rand(), first);  // the empty file drew nothing
}

// A pick says which line it drew, 1-based in the file as stored; CountQuips counts the same lines
// without drawing.
TEST_F(Quips, PicksTellTheirLine) {
  WriteBytes("Boke.dat", "one\r\n\x1atwo\r\nthree");
  EXPECT_EQ(CountQuips("Boke.dat"), 3);
  char out[16];
  QuipPick pick;
  srand(SeedDrawing(16384));
  ASSERT_TRUE(PickQuip("Boke.dat", out, 15, &pick));
  EXPECT_STREQ(out, "two\n");
  EXPECT_EQ(pick.line, 2);
  EXPECT_EQ(pick.lines, 3);
  EXPECT_EQ(CountQuips("missing"), 0);
  WriteBytes("Boke.dat", "");
  EXPECT_EQ(CountQuips("Boke.dat"), 0);
}

TEST_F(Quips, LongLinesAreCutAndNulEndsALine) {
  WriteBytes("Boke.dat", std::string("abc\n") + std::string("ab\0cd\n", 6));
  EXPECT_EQ(PickAt(0, 4), "abc\n");  // outLen - 1 bytes plus the LF fill out exactly
  EXPECT_EQ(PickAt(0, 3), "abc");    // one byte more: the LF is lost
  EXPECT_EQ(PickAt(32767, 100), "ab");
}

TEST_F(Quips, MissingFileLeavesOutAlone) {
  EXPECT_EQ(PickAt(0), "<missing>");
  std::filesystem::create_directory("Boke.dat");
  EXPECT_EQ(PickAt(0), "<missing>");
}

TEST(QuipText, OnlyTheFirst60000LinesCount) {
  std::string text;
  for (int i = 0; i < kMaxQuipLines + 5; ++i) text += std::to_string(i) + "\n";
  char out[16];
  srand(SeedDrawing(32767));
  PickQuipFromText(text.data(), text.size(), out, 15);
  EXPECT_STREQ(out, "59999\n");
}

}  // namespace
}  // namespace mimoza
