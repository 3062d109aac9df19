// tests/terminal/store_commands_test.cpp: mimoza forget and mimoza restore, and the JSON-lines
// forget and cancel, through the built program: what they print and exit with, the dictionary
// they leave byte for byte, their questions on a terminal, and each bad input leaving the
// dictionary as it was.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "tests/terminal/file_bytes.h"
#include "tests/terminal/pty_program.h"

namespace mimoza {
namespace {

namespace fs = std::filesystem;

// ねこ / にゃー and ごろごろ (two answers), then a key without answers (x) before いぬ / わん.
const std::string kDictionary =
    "<KEY>\x82\xcb\x82\xb1</KEY>\r\n"                  // 1
    "<ANS>\x82\xc9\x82\xe1\x81\x5b</ANS>\r\n"          // 2
    "<ANS>\x82\xb2\x82\xeb\x82\xb2\x82\xeb</ANS>\r\n"  // 3
    "<KEY>x</KEY>\r\n"                                 // 4
    "<KEY>\x82\xa2\x82\xca</KEY>\r\n"                  // 5
    "<ANS>\x82\xed\x82\xf1</ANS>\r\n";                 // 6

struct Finished {  // what one run of the program left
  int exitCode = -1;
  std::string out;
  std::string err;
};

class StoreCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/mimoza-store-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    work = pattern;
    fs::create_directories(work / "data");
    WriteFile(Dictionary(), kDictionary);
  }
  void TearDown() override { fs::remove_all(work); }

  fs::path Dictionary() const { return work / "data/Dictionary.txt"; }
  std::string Data() const { return (work / "data").string(); }

  // Program: mimoza with the arguments (quoted for the shell) on the data folder, stdin given,
  // not on a terminal; before: shell commands run first in the same shell (ulimit).
  Finished Program(const std::string& args, const std::string& input = "",
                   const std::string& before = "") {
    WriteFile(work / "stdin", input);
    const std::string command = "cd '" + work.string() + "' && " + before + " env HOME='" +
                                work.string() + "' '" + MIMOZA_PROGRAM + "' " + args +
                                " <stdin >stdout 2>stderr";
    const int status = std::system(("sh -c \"" + command + "\"").c_str());
    Finished run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadFile(work / "stdout");
    run.err = ReadFile(work / "stderr");
    return run;
  }
  size_t Backups() const {
    if (!fs::exists(work / "data/backups")) return 0;
    return static_cast<size_t>(std::distance(fs::directory_iterator(work / "data/backups"), {}));
  }

  fs::path work;
};

TEST_F(StoreCommands, ForgetRemovesWhatItSaysAndKeepsTheRest) {
  const struct {
    const char* args;
    int exitCode;
    const char* said;  // on stdout when it exits 0, else on stderr
    std::string left;
  } kCases[] = {
      {"3", 0, "line 3: the answer \"ごろごろ\" of the key \"ねこ\" (line 1)",
       kDictionary.substr(0, 36) + kDictionary.substr(57)},
      // The key goes with its last answer; two targets in one command.
      {"2 3", 0, "line 1: the key \"ねこ\", which has no answer left", kDictionary.substr(57)},
      {"--yes --last", 0, "line 6: the answer \"わん\" of the key \"いぬ\" (line 5)",
       kDictionary.substr(0, 71)},
      {"-y 6:1", 0, "Forgotten. The file as it was is kept: ", kDictionary.substr(0, 71)},
      // What needs a yes is not done without one when there is no terminal to ask.
      {"6", 1, "is also given by the key \"x\" (line 4)", kDictionary},
      {"--last", 1, "nothing is forgotten without --yes", kDictionary},
      // Lines that hold no answer.
      {"7", 1, "line 7 is beyond the end of Dictionary.txt, which has 6 lines", kDictionary},
      {"1", 1, "line 1 holds a key, not an answer", kDictionary},
      {"2:40", 1, "the answer that starts on line 2 does not stand at that column", kDictionary},
      // Command lines the frame refuses.
      {"", 2, "give a LINE to forget, or --last", kDictionary},
      {"--last 2", 2, "--last takes no LINE", kDictionary},
      {"two", 2, "\"two\" is no LINE or LINE:COLUMN", kDictionary},
      {"0", 2, "is no LINE", kDictionary},
      {"2:", 2, "is no LINE", kDictionary},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.args);
    WriteFile(Dictionary(), kDictionary);
    fs::remove_all(work / "data/backups");
    const Finished run = Program(std::string("forget --dir data ") + c.args);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    EXPECT_NE((c.exitCode == 0 ? run.out : run.err).find(c.said), std::string::npos)
        << run.out << run.err;
    EXPECT_EQ(ReadFile(Dictionary()), c.left) << "byte for byte";
    EXPECT_EQ(Backups(), c.exitCode == 0 ? 1u : 0u);
  }
}

// On a terminal forget asks, and a file changed while it waits is not replaced.
TEST_F(StoreCommands, ForgetAsksOnATerminal) {
  const struct {
    const char* typed;
    bool changeMeanwhile;
    const char* said;
    std::string left;
  } kCases[] = {
      {"\r", false, "Nothing is forgotten.", kDictionary},
      {"y\r", false, "Forgotten.", kDictionary.substr(0, 71)},
      {"y\r", true, "changed meanwhile, other than by Mimoza's learning", "changed"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.typed);
    WriteFile(Dictionary(), kDictionary);
    testing::PtyProgram program;
    ASSERT_TRUE(
        program.Start({MIMOZA_PROGRAM, "forget", "--dir", Data(), "6"}, {"HOME=" + work.string()}));
    ASSERT_TRUE(program.ReadUntil("is also given by the key \"x\" (line 4)")) << program.Output();
    ASSERT_TRUE(program.ReadUntil("Forget it? [y/N] ")) << program.Output();
    if (c.changeMeanwhile) WriteFile(Dictionary(), "changed");
    program.Type(c.typed);
    ASSERT_TRUE(program.ReadUntil(c.said)) << program.Output();
    program.Finish();
    EXPECT_EQ(ReadFile(Dictionary()), c.left);
  }
}

// A second restore takes the same backup, not the one the first one made; what it drops is
// listed; names that are not ours, a full disk and a backups folder that cannot be made leave
// the dictionary as it was.
TEST_F(StoreCommands, RestoreAndItsRefusals) {
  EXPECT_EQ(Program("restore --dir data --list").out, "No backups in data/backups.\n");
  ASSERT_EQ(Program("forget --dir data 2 3").exitCode, 0);
  const Finished learned =
      Program("--jsonl --seed 1 --dir data",
              "{\"submit\":\"とりとり\"}\n{\"submit\":\"うん\"}\n{\"submit\":\"ぴよ\"}\n");
  ASSERT_EQ(learned.exitCode, 0);

  const Finished restored = Program("restore --dir data");
  EXPECT_EQ(restored.exitCode, 0) << restored.err;
  EXPECT_NE(restored.out.find("the answer \"ぴよ\" of the key \"とりとり\""), std::string::npos)
      << restored.out;
  EXPECT_NE(restored.out.find("-restore.txt"), std::string::npos);
  EXPECT_EQ(ReadFile(Dictionary()), kDictionary);

  const Finished again = Program("restore --dir data");
  EXPECT_EQ(again.exitCode, 0);
  EXPECT_NE(again.out.find("already: nothing is changed"), std::string::npos) << again.out;
  const Finished list = Program("restore --dir data --list");
  EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 2) << list.out;
  EXPECT_NE(list.out.find("-restore.txt  "), std::string::npos);
  EXPECT_NE(list.out.find("(made by a restore)"), std::string::npos);
  EXPECT_LT(list.out.find("(made by a restore)"), list.out.find("3 entries")) << "newest first";

  const struct {
    const char* args;
    const char* before;
    int exitCode;
    const char* said;
  } kRefusals[] = {
      {"restore --dir data ../Dictionary.txt", "", 1, "is not the name of a backup"},
      {"restore --dir data Dictionary-19990101-000000-000.txt", "", 1, "there is no backup "},
      {"restore --dir data a b", "", 2, "give one BACKUP at most"},
      {"restore --dir data --list x", "", 2, "--list takes no BACKUP"},
      // The backup (a few bytes) fits under a 512-byte file-size limit; the restored file,
      // larger, does not: the replace fails and nothing changes.
      {"restore --dir data", "ulimit -f 1;", 1, "cannot write the new "},
  };
  WriteFile(Dictionary(), "<KEY>k</KEY>\r\n");
  fs::remove_all(work / "data/backups");
  fs::create_directory(work / "data/backups");
  WriteFile(work / "data/backups/Dictionary-20000101-000000-000.txt", std::string(2000, 'x'));
  for (const auto& c : kRefusals) {
    SCOPED_TRACE(c.args);
    const Finished run = Program(c.args, "", c.before);
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(Dictionary()), "<KEY>k</KEY>\r\n");
  }
  EXPECT_EQ(Backups(), 1u) << "no backup left behind";
  // A backups "folder" that is a file.
  fs::remove_all(work / "data/backups");
  WriteFile(work / "data/backups", "");
  WriteFile(Dictionary(), kDictionary);
  const Finished noFolder = Program("forget --dir data --last --yes");
  EXPECT_EQ(noFolder.exitCode, 1);
  EXPECT_NE(noFolder.err.find("cannot make the backups folder"), std::string::npos) << noFolder.err;
  EXPECT_EQ(ReadFile(Dictionary()), kDictionary);
}

// JSON lines: forget answers with one event per answer forgotten (or an error), cancel with
// whether it dropped a dialogue.
TEST_F(StoreCommands, JsonForgetAndCancel) {
  const Finished run = Program("--jsonl --seed 1 --dir data",
                               "{\"forget\":{\"line\":6}}\n"
                               "{\"forget\":{\"line\":9}}\n"
                               "{\"forget\":{\"line\":8}}\n"
                               "{\"forget\":{\"line\":6,\"all\":true}}\n"
                               "{\"forget\":\"last\"}\n"
                               "{\"forget\":\"last\",\"all\":true}\n"
                               "{\"cancel\":true}\n"
                               "{\"submit\":\"とりとり\"}\n"
                               "{\"cancel\":true}\n");
  EXPECT_EQ(run.exitCode, 0);
  const std::string events = std::regex_replace(
      run.out, std::regex(Data() + "/backups/Dictionary-[0-9]{8}-[0-9]{6}-[0-9]{3}\\.txt"), "B");
  EXPECT_EQ(events,
            "{\"event\":\"title\",\"text\":\"ミモザ\"}\n"
            "{\"event\":\"error\",\"message\":\"the answer on line 6 is also given by the key "
            "\\\"x\\\" (line 4), which has no answer of its own: forgetting it takes it from that "
            "key too: send \\\"all\\\":true to forget it all the same\"}\n"
            "{\"event\":\"error\",\"message\":\"line 9 is beyond the end of Dictionary.txt, which "
            "has 8 lines\"}\n"
            "{\"event\":\"forgotten\",\"line\":8,\"key\":\"<SMES0>\",\"answer\":\"ミモザ\","
            "\"backup\":\"B\"}\n"
            "{\"event\":\"forgotten\",\"line\":6,\"key\":\"いぬ\",\"answer\":\"わん\","
            "\"backup\":\"B\"}\n"
            "{\"event\":\"error\",\"message\":\"the entry learned last has 2 answers: send "
            "{\\\"forget\\\":\\\"last\\\",\\\"all\\\":true} to forget them all\"}\n"
            "{\"event\":\"forgotten\",\"line\":2,\"key\":\"ねこ\",\"answer\":\"にゃー\","
            "\"backup\":\"B\"}\n"
            "{\"event\":\"forgotten\",\"line\":3,\"key\":\"ねこ\",\"answer\":\"ごろごろ\","
            "\"backup\":\"B\"}\n"
            "{\"event\":\"cancelled\",\"dropped\":false}\n"
            "{\"event\":\"response\",\"text\":\"覚えていい？\"}\n"
            "{\"event\":\"cancelled\",\"dropped\":true}\n")
      << run.out;
  EXPECT_EQ(ReadFile(Dictionary()).substr(0, 15), "<KEY>x</KEY>\r\n<") << "the rest stays";
}

}  // namespace
}  // namespace mimoza
