// tests/terminal/edit_test.cpp: mimoza edit, the built program under a pseudo-terminal, with
// shell scripts for editors: an edit lands with a backup (untouched lines keep their very bytes,
// the NEC and IBM forms of a character and an editor saving CR LF included), a character code
// page 932 lacks is refused and then edited again, discarded or kept, what Mimoza learns during
// the edit survives, a killed or signalled editor and a dictionary changed meanwhile replace
// nothing, an emptied or vanished copy asks or stops, an unreadable Boke.dat does not block,
// owner and group are kept (or, where they cannot be, asked about), and a second edit finds the
// first one's lock.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/terminal/file_bytes.h"
#include "tests/terminal/pty_program.h"

namespace mimoza {
namespace {

namespace fs = std::filesystem;
using testing::PtyProgram;

// The dictionary every case starts from, code page 932 with CR LF. Line 3 holds 纊 as 0xED 0x40,
// one of the characters code page 932 has twice: converted to UTF-8 and back it would come out
// as 0xFA 0x5C, so only a line given back as it was keeps it.
// ねこ / にゃー, 纊 / x, then the default yes list.
const std::string kDictionary =
    "<KEY>\x82\xcb\x82\xb1</KEY>\r\n"
    "<ANS>\x82\xc9\x82\xe1\x81\x5b</ANS>\r\n"
    "<KEY>\xed\x40</KEY>\r\n"
    "<ANS>x</ANS>\r\n";

int ExitCode(PtyProgram& program) {
  const int status = program.Finish();
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

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
    fs::permissions(script, fs::perms::all);
    return script.string();
  }

  // StartEdit: mimoza edit on the data folder with the editor; before: a command that runs it
  // (setpriv, to be another user).
  bool StartEdit(PtyProgram& program, const std::string& editor,
                 const std::vector<std::string>& before = {}) {
    std::vector<std::string> argv = before;
    for (const std::string& arg : {std::string(MIMOZA_PROGRAM), std::string("edit"),
                                   std::string("--dir"), (work / "data").string()}) {
      argv.push_back(arg);
    }
    return program.Start(
        argv,
        {"EDITOR=" + editor, "VISUAL=", "XDG_RUNTIME_DIR=", "TMPDIR=" + (work / "tmp").string(),
         "DATA=" + (work / "data").string(), "STATE=" + (work / "state").string(),
         std::string("MIMOZA=") + MIMOZA_PROGRAM, "HOME=" + work.string()});
  }

  // Copies: the copies left in the temporary folder, and those kept in backups/.
  size_t Copies() const {
    size_t copies = 0;
    for (const auto& entry : fs::recursive_directory_iterator(work / "tmp")) {
      copies += entry.is_regular_file();
    }
    return copies + Kept().size();
  }
  std::vector<fs::path> Kept() const {
    std::vector<fs::path> kept;
    if (!fs::exists(work / "data/backups")) return kept;
    for (const auto& entry : fs::directory_iterator(work / "data/backups")) {
      if (entry.path().filename().string().rfind("edited-copy-", 0) == 0) {
        kept.push_back(entry.path());
      }
    }
    return kept;
  }
  // Backups: the backups of Dictionary.txt made.
  size_t Backups() const {
    size_t backups = 0;
    if (!fs::exists(work / "data/backups")) return 0;
    for (const auto& entry : fs::directory_iterator(work / "data/backups")) {
      backups += entry.path().filename().string().rfind("Dictionary-", 0) == 0;
    }
    return backups;
  }
  void Reset(const std::string& dictionary = kDictionary) {
    fs::remove_all(work / "tmp");
    fs::create_directories(work / "tmp");
    fs::remove_all(work / "data/backups");
    fs::remove(work / "state");
    WriteFile(Dictionary(), dictionary);
  }

  fs::path work;
  int editors = 0;
};

TEST_F(EditTest, AnEditLandsWithABackupAndItsUntouchedLinesAsTheyWere) {
  PtyProgram program;
  ASSERT_TRUE(StartEdit(program, Editor("sed -i 's/にゃー/にゃーん/' \"$1\"")));
  ASSERT_TRUE(program.ReadUntil("Dictionary.txt is replaced.")) << program.Output();
  ASSERT_TRUE(program.ReadUntil("The old one is kept: " + (work / "data/backups").string()))
      << program.Output();
  EXPECT_EQ(ExitCode(program), 0);
  std::string expected = kDictionary;
  expected.replace(expected.find("\x81\x5b"), 2, "\x81\x5b\x82\xf1");  // ー -> ーん
  EXPECT_EQ(ReadFile(Dictionary()), expected);
  EXPECT_EQ(Copies(), 0u);
  EXPECT_EQ(Backups(), 1u);
  EXPECT_FALSE(fs::exists(work / "data/Dictionary.txt.lock"));
}

// Lines are mapped back by position: each of two lines that read alike in UTF-8 keeps its own
// bytes (纊 as 0xED40 and 0xFA5C, Ⅰ as 0x8754 and 0xFA4A), whatever is added, removed or
// changed around them, and whether the editor saves LF or CR LF; a line ending in LF alone and
// a last line without a line end stay so.
TEST_F(EditTest, TwinCharactersAndLineEndsKeepTheirBytes) {
  const std::string twins =
      "<KEY>\xed\x40</KEY>\r\n"  // 1 纊 (NEC-selected IBM extension)
      "<ANS>\xfa\x5c</ANS>\r\n"  // 2 纊 (IBM extension)
      "<KEY>\x87\x54</KEY>\n"    // 3 Ⅰ (NEC special), LF alone
      "<ANS>\xfa\x4a</ANS>\r\n"  // 4 Ⅰ (IBM extension)
      "<KEY>a</KEY>\r\n"         // 5
      "<ANS>\xfa\x5c</ANS>\r\n"  // 6 纊
      "<ANS>\xed\x40</ANS>";     // 7 纊, no line end
  const struct {
    const char* editor;
    std::string expected;
  } kCases[] = {
      // Line 5 changed, a line added before line 1 and line 4 removed.
      {"sed -i -e 's/<KEY>a</<KEY>b</' -e '4d' -e '1i <KEY>new</KEY>' \"$1\"",
       "<KEY>new</KEY>\r\n" + twins.substr(0, 44) + "<KEY>b</KEY>\r\n" + twins.substr(73)},
      // Every line saved with CR LF, and line 6 changed.
      {"sed -i -e 's/$/\\r/' -e '6s/<ANS>/<ANS>z/' \"$1\"",
       twins.substr(0, 73) + "<ANS>z\xfa\x5c</ANS>\r\n" + twins.substr(88)},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.editor);
    Reset(twins);
    PtyProgram program;
    ASSERT_TRUE(StartEdit(program, Editor(c.editor)));
    ASSERT_TRUE(program.ReadUntil("Dictionary.txt is replaced.")) << program.Output();
    EXPECT_EQ(ExitCode(program), 0);
    EXPECT_EQ(ReadFile(Dictionary()), c.expected) << "byte for byte";
  }
}

// 😀 has no code page 932 form: the check names its line and column and asks what to do; a kept
// copy moves into backups/.
TEST_F(EditTest, ACharacterCodePage932LacksIsRefused) {
  const struct {
    const char* typed;
    const char* said;
    int exitCode;
    bool replaced;
    size_t kept;
  } kCases[] = {
      {"d\r", "Your changes are discarded", 1, false, 0},
      {"k\r", "your copy is kept: " /* the path follows */, 1, false, 1},
      {"what?\re\r", "Dictionary.txt is replaced.", 0, true, 0},  // asked again, then fixed
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.typed);
    Reset();
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
    if (c.replaced) {
      expected.replace(expected.find("\x82\xc9\x82\xe1\x81\x5b"), 6, "\x82\xd2\x82\xe6");
    }
    EXPECT_EQ(ReadFile(Dictionary()), expected) << "byte for byte";
    EXPECT_EQ(Copies(), c.kept);
    ASSERT_EQ(Kept().size(), c.kept);
    if (c.kept > 0) {
      EXPECT_NE(program.Output().find(Kept()[0].string()), std::string::npos) << "its path";
      EXPECT_NE(ReadFile(Kept()[0]).find("😀"), std::string::npos);
    }
  }
}

// A copy that comes back empty (or with fewer than half the entries) replaces only after a yes;
// a copy that is gone replaces nothing, also when it goes before "edit again".
TEST_F(EditTest, AnEmptiedOrVanishedCopyDoesNotReplaceSilently) {
  const struct {
    const char* typed;
    const char* said;
    int exitCode;
    bool replaced;
  } kCases[] = {
      {"\rd\r", "Your changes are discarded", 1, false},  // the default is no
      {"y\r", "Dictionary.txt is replaced.", 0, true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.typed);
    Reset();
    PtyProgram program;
    ASSERT_TRUE(StartEdit(program, Editor(": > \"$1\"")));
    ASSERT_TRUE(program.ReadUntil(
        "The edited copy holds 0 entries; Dictionary.txt holds 2. Replace it anyway? [y/N] "))
        << program.Output();
    program.Type(c.typed);
    ASSERT_TRUE(program.ReadUntil(c.said)) << program.Output();
    EXPECT_EQ(ExitCode(program), c.exitCode);
    EXPECT_EQ(ReadFile(Dictionary()), c.replaced ? "" : kDictionary);
    EXPECT_EQ(Backups(), c.replaced ? 1u : 0u);
  }

  Reset();
  PtyProgram removed;
  ASSERT_TRUE(StartEdit(removed, Editor("rm \"$1\"")));
  ASSERT_TRUE(removed.ReadUntil("no longer exists: Dictionary.txt is not replaced"))
      << removed.Output();
  EXPECT_EQ(ExitCode(removed), 1);
  EXPECT_EQ(ReadFile(Dictionary()), kDictionary);

  // The copy goes while the question waits; "edit again" says so.
  Reset();
  PtyProgram again;
  ASSERT_TRUE(StartEdit(again, Editor("touch \"$STATE\"; sed -i 's/にゃー/😀/' \"$1\"")));
  ASSERT_TRUE(again.ReadUntil("[k]eep your copy? ")) << again.Output();
  fs::remove_all(work / "tmp");
  fs::create_directories(work / "tmp");
  fs::remove(work / "state");
  again.Type("e\r");
  ASSERT_TRUE(again.ReadUntil("no longer exists: Dictionary.txt is not replaced"))
      << again.Output();
  EXPECT_EQ(ExitCode(again), 1);
  EXPECT_FALSE(fs::exists(work / "state")) << "the editor did not run again";
  EXPECT_EQ(ReadFile(Dictionary()), kDictionary);
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

  Reset();
  PtyProgram rewritten;
  ASSERT_TRUE(StartEdit(rewritten, Editor("sed -i 's/にゃー/にゃん/' \"$1\"\n"
                                          "printf 'other' > \"$DATA/Dictionary.txt\"")));
  ASSERT_TRUE(rewritten.ReadUntil("changed while you were editing")) << rewritten.Output();
  EXPECT_EQ(ExitCode(rewritten), 1);
  EXPECT_EQ(ReadFile(Dictionary()), "other");
  EXPECT_EQ(Kept().size(), 1u);
  EXPECT_EQ(Backups(), 0u);
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
      {"sed -i 's/$/\\r/' \"$1\"", "Dictionary.txt is unchanged.", 0, 0},  // CR LF alone
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.editor);
    Reset();
    PtyProgram program;
    ASSERT_TRUE(StartEdit(program, Editor(c.editor)));
    ASSERT_TRUE(program.ReadUntil(c.said)) << program.Output();
    EXPECT_EQ(ExitCode(program), c.exitCode);
    EXPECT_EQ(ReadFile(Dictionary()), kDictionary);
    EXPECT_EQ(Copies(), c.copies);
    EXPECT_EQ(Backups(), 0u);
  }
}

// SIGTERM or SIGHUP while the editor runs goes on to the editor; mimoza waits for it, lets go of
// the lock and says where an edited copy is (an unchanged one goes).
TEST_F(EditTest, ASignalWhileEditingIsPassedOnToTheEditor) {
  const struct {
    int signal;
    const char* change;
    size_t kept;
  } kCases[] = {
      {SIGTERM, "sed -i 's/にゃー/にゃん/' \"$1\"; ", 1},
      {SIGHUP, "", 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.signal);
    Reset();
    PtyProgram program;
    ASSERT_TRUE(
        StartEdit(program, Editor(std::string(c.change) + "touch \"$STATE\"; exec sleep 30")));
    for (int i = 0; i < 500 && !fs::exists(work / "state"); ++i) usleep(10000);
    ASSERT_TRUE(fs::exists(work / "state"));
    kill(program.Pid(), c.signal);
    ASSERT_TRUE(program.ReadUntil("ended by signal " + std::to_string(c.signal)))
        << program.Output();
    EXPECT_EQ(ExitCode(program), 1);
    EXPECT_EQ(ReadFile(Dictionary()), kDictionary);
    EXPECT_FALSE(fs::exists(work / "data/Dictionary.txt.lock"));
    EXPECT_EQ(Copies(), c.kept);
    EXPECT_EQ(Kept().size(), c.kept);
  }
}

// Only the dictionary's problems stop a replacement: a Boke.dat that cannot be read is told.
TEST_F(EditTest, AnUnreadableQuipFileDoesNotBlock) {
  fs::create_directory(work / "data/Boke.dat");
  PtyProgram program;
  ASSERT_TRUE(StartEdit(program, Editor("sed -i 's/にゃー/にゃん/' \"$1\"")));
  ASSERT_TRUE(program.ReadUntil("Boke.dat: error: the file is there but cannot be read"))
      << program.Output();
  ASSERT_TRUE(program.ReadUntil("Dictionary.txt is replaced.")) << program.Output();
  EXPECT_EQ(ExitCode(program), 0);
}

// As root, the owner and group of the file are kept. As another user who may replace the file
// but not give it its owner, mimoza asks first.
TEST_F(EditTest, OwnerAndGroupAreKeptOrAskedAbout) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to own files as another user";
  constexpr uid_t kNobody = 65534;
  ASSERT_EQ(chown(Dictionary().c_str(), kNobody, kNobody), 0);
  PtyProgram asRoot;
  ASSERT_TRUE(StartEdit(asRoot, Editor("sed -i 's/にゃー/にゃん/' \"$1\"")));
  ASSERT_TRUE(asRoot.ReadUntil("Dictionary.txt is replaced.")) << asRoot.Output();
  EXPECT_EQ(ExitCode(asRoot), 0);
  struct stat st {};
  ASSERT_EQ(stat(Dictionary().c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, kNobody);
  EXPECT_EQ(st.st_gid, kNobody);

  // Everything the other user needs is open to them; the dictionary is root's.
  Reset();
  ASSERT_EQ(chown(Dictionary().c_str(), 0, 0), 0);
  for (const fs::path& folder : {work, work / "data", work / "tmp"}) {
    fs::permissions(folder, fs::perms::all);
  }
  fs::permissions(Dictionary(), fs::perms::all);
  const std::vector<std::string> asNobody = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                             "--clear-groups"};
  const struct {
    const char* typed;
    const char* said;
    bool replaced;
  } kCases[] = {{"n\rd\r", "Your changes are discarded", false},
                {"y\r", "Dictionary.txt is replaced.", true}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.typed);
    WriteFile(Dictionary(), kDictionary);
    PtyProgram program;
    ASSERT_TRUE(StartEdit(program, Editor("sed -i 's/にゃー/にゃん/' \"$1\""), asNobody));
    ASSERT_TRUE(program.ReadUntil("cannot keep its owner root and group root")) << program.Output();
    ASSERT_TRUE(program.ReadUntil("Replace it anyway? [y/N] ")) << program.Output();
    program.Type(c.typed);
    ASSERT_TRUE(program.ReadUntil(c.said)) << program.Output();
    ASSERT_EQ(stat(Dictionary().c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, c.replaced ? kNobody : 0u);
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
