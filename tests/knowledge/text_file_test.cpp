// tests/knowledge/text_file_test.cpp: reading and appending files as text.
#include "knowledge/text_file.h"

#include <sys/stat.h>

#include <string>

#include "tests/knowledge/test_support.h"

namespace mimoza {
namespace {

using testing::InTempDir;
using testing::ReadBytes;
using testing::WriteBytes;

TEST(TextFold, LineEndsAndTheEndMark) {
  const struct {
    std::string stored, text;
  } kCases[] = {
      {"a\r\nb\r\n", "a\nb\n"},
      {"a\rb\r", "a\rb\r"},    // a lone CR stays, also as the last byte
      {"a\r\r\nb", "a\r\nb"},  // only the CR right before the LF goes
      {"a\n\r", "a\n\r"},
      {"ab\x1a"
       "cd\r\n",
       "abcd\n"},            // 0x1A is dropped, and nothing after it is lost
      {"a\r\x1a\n", "a\n"},  // before the line ends are folded
      {std::string("a\0b\r\n", 5), std::string("a\0b\n", 4)},  // NUL is an ordinary byte here
      {"", ""},
  };
  for (const auto& c : kCases) {
    std::string bytes = c.stored;
    bytes.resize(FoldTextLineEnds(bytes.data(), bytes.size()));
    EXPECT_EQ(bytes, c.text) << c.stored;
  }
}

class TextFiles : public InTempDir {};

TEST_F(TextFiles, ReadsWholeFilesAndRefusesWhatIsNoFile) {
  WriteBytes("t.txt", std::string("x\r\n\0y\ry\r\n", 9));
  TextBuffer text;
  ASSERT_TRUE(ReadTextFile("t.txt", &text));
  EXPECT_EQ(std::string(text.bytes, text.length), std::string("x\n\0y\ry\n", 7));
  EXPECT_EQ(text.bytes[text.length], '\0');

  EXPECT_FALSE(ReadTextFile("missing.txt", &text));
  EXPECT_EQ(text.bytes, nullptr);
  std::filesystem::create_directory("dir.txt");
  EXPECT_FALSE(ReadTextFile("dir.txt", &text));
  ASSERT_EQ(mkfifo("fifo.txt", 0600), 0);
  EXPECT_FALSE(ReadTextFile("fifo.txt", &text));  // and does not wait for a writer
}

TEST_F(TextFiles, AppendsWriteEachLineFeedAsCrLf) {
  ASSERT_TRUE(AppendTextFile("t.txt", "a\nb\r\n", 5));
  ASSERT_TRUE(AppendTextFile("t.txt", "c", 1));
  EXPECT_EQ(ReadBytes("t.txt"), "a\r\nb\r\r\nc");
  TextBuffer text;
  ASSERT_TRUE(ReadTextFile("t.txt", &text));
  EXPECT_EQ(std::string(text.bytes, text.length), "a\nb\r\nc");  // what was appended comes back
}

}  // namespace
}  // namespace mimoza
