// tests/terminal/edit_test.cpp: mimoza edit, the built program under a pseudo-terminal, with
// shell scripts for editors: an edit lands (untouched lines keep their very bytes), a character
// code page 932 lacks is refused and then edited again, discarded or kept, what Mimoza learns
// during the edit survives, a killed editor and a dictionary changed meanwhile replace nothing,
// an unchanged copy does nothing, and a second edit finds the first one's lock.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/terminal/pty_program.h"

namespace mimoza {
namespace {

namespace fs = std::filesystem;
using testing::PtyProgram;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The dictionary every case starts from, code page 932 with CR LF. Line 3 holds 纊 as 0xED 0x40,
// one of the characters code page 932 has twice: converted to UTF-8 and back it would come out
// as 0xFA 0x5C, so only a line given back as it was keeps it.
// ねこ / にゃー, 纊 / x, then the default yes list.
const std::string kDictionary =
    "<KEY>\x82\xcb\x82\xb1</KEY>\r\n"
    "<ANS>\x82\xc9\x82\xe1\x81\x5b</ANS>\r\n"
    "<KEY>\xed\x40</KEY>\r\n"
    "<ANS>x</ANS>\r\n";

class EditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/mimoza-edit-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    work = pattern;
    fs::create_directories(work / "data");
    fs::create_directories(work / "tmp");
    WriteFile(Dictionary(), kDictionary);
  }
  void TearDown() override { fs::remove_all(work); }

  fs::path Dictionary() const { return work / "data/Dictionary.txt"; }

  // Editor: a shell script for $EDITOR; $1 is the copy, $DATA the data folder, $STATE a file it
  // may leave to know it ran before, $MIMOZA the program.
  std::string Editor(const std::string& body) {
    const fs::path script = work / ("editor" + std::to_string(++editors) + ".sh");
    WriteFile(script, "#!/bin/sh\n" + body + "\n");
    fs::permissions(script, fs::perms::owner_all);
    return script.string();
  }

  // StartEdit: mimoza edit on the data folder with the editor.
  bool StartEdit(PtyProgram& program, const std::string& editor) {
    return program.Start({MIMOZA_PROGRAM, "edit", "--dir", (work / "data").string()},
                         {"EDITOR=" + editor, "VISUAL=", "TMPDIR=" + (work / "tmp").string(),
                          "DATA=" + (work / "data").string(), "STATE=" + (work / "state").string(),
                          std::string("MIMOZA=") + MIMOZA_PROGRAM, "HOME=" + work.string()});
  }

  // Copies: the copies left in the temporary folder.
  size_t Copies() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(work / "tmp"), {}));
  }

  fs::path work;
  int editors = 0;
};

// What each case expects of the run: its exit code and a text it printed.
int ExitCode(PtyProgram& program) {
  const int status = program.Finish();
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(EditTest, AnEditLandsAsCodePage932WithItsUntouchedLinesAsTheyWere) {
  PtyProgram program;
  ASSERT_TRUE(StartEdit(program, Editor("sed -i 's/にゃー/にゃーん/' \"$1\"")));
  ASSERT_TRUE(program.ReadUntil("Dictionary.txt is replaced.")) << program.Output();
  EXPECT_EQ(ExitCode(program), 0);
  std::string expected = kDictionary;
  expected.replace(expected.find("\x81\x5b"), 2, "\x81\x5b\x82\xf1");  // ー -> ーん
  EXPECT_EQ(ReadFile(Dictionary()), expected);
  EXPECT_EQ(Copies(), 0u);
  EXPECT_FALSE(fs::exists(work / "data/Dictionary.txt.lock"));
}

// 😀 has no code page 932 form: the check names its line and column and asks what to do.
TEST_F(EditTest, ACharacterCodePage932LacksIsRefused) {
  const struct {
    const char* typed;
    const char* said;
    int exitCode;
    bool replaced;
    size_t copies;
  } kCases[] = {
      {"d\r", "Your changes are discarded", 1, false, 0},
      {"k\r", "your copy is kept: " /* the path follows */, 1, false, 1},
      {"what?\re\r", "Dictionary.txt is replaced.", 0, true, 0},  // asked again, then fixed
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.typed);
    fs::remove(work / "state");
    for (const auto& copy : fs::directory_iterator(work / "tmp")) fs::remove(copy.path());
    const std::string editor = Editor(
        "if [ -e \"$STATE\" ]; then sed -i 's/😀/ぴよ/' \"$1\"; "
        "else touch \"$STATE\"; sed -i 's/にゃー/😀/' \"$1\"; fi");
    PtyProgram program;
    ASSERT_TRUE(StartEdit(program, editor));
    ASSERT_TRUE(
        program.ReadUntil("Dictionary.txt:2:6: error: the character U+1F600 has no code "
                          "page 932 form"))
        << program.Output();
    ASSERT_TRUE(program.ReadUntil("[k]eep your copy? ")) << program.Output();
    program.Type(c.typed);
    ASSERT_TRUE(program.ReadUntil(c.said)) << program.Output();
    EXPECT_EQ(ExitCode(program), c.exitCode);
    std::string expected = kDictionary;
    if (c.replaced)
      expected.replace(expected.find("\x82\xc9\x82\xe1\x81\x5b"), 6, "\x82\xd2\x82\xe6");
    EXPECT_EQ(ReadFile(Dictionary()), expected) << "byte for byte";
    EXPECT_EQ(Copies(), c.copies);
  }
}

// A Mimoza that learns a line while the editor is open only appends: the entry is carried over
// to the end of the edited file. A dictionary changed otherwise is not replaced.
TEST_F(EditTest, WhatMimozaLearnsDuringTheEditSurvives) {
  PtyProgram program;
  ASSERT_TRUE(StartEdit(program, Editor("sed -i 's/にゃー/にゃん/' \"$1\"\n"
                                        "printf 'いぬいぬ\\nうん\\nわん\\n' | "
                                        "\"$MIMOZA\" --dir \"$DATA\" --seed 7 >/dev/null")));
  ASSERT_TRUE(program.ReadUntil("what Mimoza learned meanwhile")) << program.Output();
  EXPECT_EQ(ExitCode(program), 0);
  const std::string now = ReadFile(Dictionary());
  std::string edited = kDictionary;
  edited.replace(edited.find("\x81\x5b"), 2, "\x82\xf1");  // にゃー -> にゃん
  EXPECT_EQ(now.substr(0, edited.size()), edited);
  // いぬいぬ / わん, learned, after the prompts the learning wrote.
  EXPECT_NE(now.find("<KEY>\x82\xa2\x82\xca\x82\xa2\x82\xca</KEY>\r\n<ANS>\x82\xed\x82\xf1</ANS>"),
            std::string::npos)
      << now;

  WriteFile(Dictionary(), kDictionary);
  PtyProgram rewritten;
  ASSERT_TRUE(StartEdit(rewritten, Editor("sed -i 's/にゃー/にゃん/' \"$1\"\n"
                                          "printf 'other' > \"$DATA/Dictionary.txt\"")));
  ASSERT_TRUE(rewritten.ReadUntil("changed while you were editing")) << rewritten.Output();
  EXPECT_EQ(ExitCode(rewritten), 1);
  EXPECT_EQ(ReadFile(Dictionary()), "other");
  EXPECT_EQ(Copies(), 1u);
}

TEST_F(EditTest, AKilledEditorOrAnUnchangedCopyReplacesNothing) {
  const struct {
    const char* editor;
    const char* said;
    int exitCode;
    size_t copies;
  } kCases[] = {
      {"sed -i 's/にゃー/にゃん/' \"$1\"; kill -9 $$", "Dictionary.txt is not replaced", 1, 1},
      {"kill -9 $$", "Dictionary.txt is not replaced", 1, 0},
      {"exit 3", "exited with status 3", 1, 0},
      {"true", "Dictionary.txt is unchanged.", 0, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.editor);
    for (const auto& copy : fs::directory_iterator(work / "tmp")) fs::remove(copy.path());
    PtyProgram program;
    ASSERT_TRUE(StartEdit(program, Editor(c.editor)));
    ASSERT_TRUE(program.ReadUntil(c.said)) << program.Output();
    EXPECT_EQ(ExitCode(program), c.exitCode);
    EXPECT_EQ(ReadFile(Dictionary()), kDictionary);
    EXPECT_EQ(Copies(), c.copies);
  }
}

// A second edit while the first holds the lock, and a dictionary whose bytes would not come back.
TEST_F(EditTest, ASecondEditAndAnUneditableFileAreRefused) {
  const int lock = open((work / "data/Dictionary.txt.lock").c_str(), O_RDWR | O_CREAT, 0644);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(flock(lock, LOCK_EX), 0);
  ASSERT_EQ(write(lock, "4242", 4), 4);
  PtyProgram second;
  ASSERT_TRUE(StartEdit(second, Editor("touch \"$STATE\"")));
  ASSERT_TRUE(second.ReadUntil("is being edited already (process 4242)")) << second.Output();
  EXPECT_EQ(ExitCode(second), 1);
  EXPECT_FALSE(fs::exists(work / "state")) << "no editor was started";
  close(lock);

  WriteFile(Dictionary(), "<KEY>a</KEY>\r\n<ANS>\x82\x0d\n</ANS>\r\n");
  PtyProgram broken;
  ASSERT_TRUE(StartEdit(broken, Editor("touch \"$STATE\"")));
  ASSERT_TRUE(broken.ReadUntil("Dictionary.txt:2:6: byte 0x82")) << broken.Output();
  EXPECT_EQ(ExitCode(broken), 1);
  EXPECT_FALSE(fs::exists(work / "state"));
}

}  // namespace
}  // namespace mimoza
