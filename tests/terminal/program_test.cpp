// tests/terminal/program_test.cpp: the built mimoza program end to end: command line, data
// directory, and whole --jsonl and piped transcripts against fixture files with fixed seeds.
// Set MIMOZA_UPDATE_FIXTURES=1 to rewrite the expected transcripts (then read them over).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/terminal/file_bytes.h"

namespace {

namespace fs = std::filesystem;
using mimoza::ReadFile;
using mimoza::WriteFile;

const fs::path kFixtures = fs::path(MIMOZA_SOURCE_DIR) / "tests/terminal/fixtures";

// What one run of the program left behind.
struct ProgramRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/mimoza-program-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    work = pattern;
  }
  void TearDown() override { fs::remove_all(work); }

  // RunProgram: runs mimoza with the arguments (already quoted for the shell) and the given
  // standard input, with environment settings put before it (such as "HOME=..."). Home and state
  // folder are the scratch folder's, and the locale C.UTF-8 (English words), unless env says
  // otherwise, so nothing touches the real home and the user's locale changes nothing.
  ProgramRun RunProgram(const std::string& args, const std::string& input,
                        const std::string& env = "", const std::string& output = "stdout") {
    WriteFile(work / "stdin", input);
    const std::string command = "cd '" + work.string() + "' && env LC_ALL=C.UTF-8 HOME='" +
                                work.string() + "/home' XDG_STATE_HOME='" + work.string() +
                                "/state' " + env + " '" + MIMOZA_PROGRAM + "' " + args +
                                " <stdin >" + output + " 2>stderr";
    const int status = std::system(command.c_str());
    ProgramRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadFile(work / "stdout");
    run.err = ReadFile(work / "stderr");
    return run;
  }

  fs::path work;
};

TEST_F(ProgramTest, CommandLine) {
  const struct {
    const char* args;
    int exitCode;
    const char* outHas;  // a text stdout must hold, or "" for an empty stdout
    const char* errHas;  // likewise for stderr
  } kCases[] = {
      {"--help", 0, "--jsonl", ""},
      {"--version", 0, "mimoza 1.", ""},
      {"--bogus", 2, "", "usage: mimoza"},
      {"stray", 2, "", "usage: mimoza"},
      {"--dir", 2, "", "usage: mimoza"},
      {"--seed x --dir d", 2, "", "usage: mimoza"},
      {"--seed 4294967296 --dir d", 2, "", "usage: mimoza"},
      {"--jsonl=1 --dir d", 2, "", "usage: mimoza"},
      // A directory that cannot be made: a message, exit 1, and nothing read or written.
      {"--jsonl --dir stdin/sub", 1, "", "data directory"},
  };
  for (const auto& c : kCases) {
    const ProgramRun run = RunProgram(c.args, "{\"submit\":\"abc\"}\n");
    EXPECT_EQ(run.exitCode, c.exitCode) << c.args;
    if (c.outHas[0] == '\0') {
      EXPECT_EQ(run.out, "") << c.args;
    } else {
      EXPECT_NE(run.out.find(c.outHas), std::string::npos) << c.args << ": " << run.out;
    }
    if (c.errHas[0] == '\0') {
      EXPECT_EQ(run.err, "") << c.args;
    } else {
      EXPECT_NE(run.err.find(c.errHas), std::string::npos) << c.args << ": " << run.err;
    }
  }
}

TEST_F(ProgramTest, DataDirectory) {
  // --dir creates missing parents and keeps the files there.
  ProgramRun run = RunProgram("--dir a/b/c --seed 1", "abc\n");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(fs::exists(work / "a/b/c/Dictionary.txt"));
  // Without --dir: $XDG_DATA_HOME/mimoza, and ~/.local/share/mimoza when that is not set or is
  // not an absolute path.
  run = RunProgram("--seed 1", "abc\n",
                   "HOME=" + work.string() + "/home XDG_DATA_HOME=" + work.string() + "/xdg");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(fs::exists(work / "xdg/mimoza/Dictionary.txt"));
  run = RunProgram("--seed 1", "abc\n", "HOME=" + work.string() + "/home XDG_DATA_HOME=rel");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(fs::exists(work / "home/.local/share/mimoza/Dictionary.txt"));
  EXPECT_FALSE(fs::exists(work / "rel"));
}

// Whole transcripts: fixtures/NAME.in is fed to the program and its standard output must equal
// fixtures/NAME.out. NAME.dict, when present, is the data directory's Dictionary.txt at start.
TEST_F(ProgramTest, Transcripts) {
  const struct {
    const char* name;
    const char* args;
    bool quips;  // start with examples/Boke.dat in the data directory
  } kCases[] = {
      {"jsonl_learn", "--jsonl --seed 4242", false},
      {"jsonl_quips", "--jsonl --seed 4242", true},
      {"jsonl_errors", "--jsonl --seed 31337", false},
      {"jsonl_encoding", "--jsonl --seed 777777", false},
      {"jsonl_explain", "--jsonl --seed 777777", false},
      {"piped", "--seed 1208", false},
      {"piped_quips", "--seed 4242", true},
  };
  // Seeds are large on purpose: with seeds below a few thousand the generator's first draws
  // hardly depend on the seed, so the quip roll would come out alike in every run.
  const bool update = std::getenv("MIMOZA_UPDATE_FIXTURES") != nullptr;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const fs::path dir = work / c.name;
    fs::create_directories(dir);
    const fs::path dict = kFixtures / (std::string(c.name) + ".dict");
    if (fs::exists(dict)) fs::copy_file(dict, dir / "Dictionary.txt");
    if (c.quips) {
      fs::copy_file(fs::path(MIMOZA_SOURCE_DIR) / "examples/Boke.dat", dir / "Boke.dat");
    }
    const ProgramRun run = RunProgram(std::string(c.args) + " --dir " + c.name,
                                      ReadFile(kFixtures / (std::string(c.name) + ".in")));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    const fs::path expected = kFixtures / (std::string(c.name) + ".out");
    if (update) WriteFile(expected, run.out);
    EXPECT_EQ(run.out, ReadFile(expected));
  }
}

// mimoza check on a broken dictionary (fixtures/check_broken.dict, its expected report in
// check_broken.out), in JSON, at each severity, on the dictionary a first session writes, and
// with a bad command line; mimoza edit without a terminal.
TEST_F(ProgramTest, CheckAndEditCommands) {
  fs::create_directories(work / "broken");
  const std::string broken = ReadFile(kFixtures / "check_broken.dict");
  WriteFile(work / "broken/Dictionary.txt", broken);
  ProgramRun run = RunProgram("check --dir broken", "");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "");
  const fs::path expected = kFixtures / "check_broken.out";
  if (std::getenv("MIMOZA_UPDATE_FIXTURES") != nullptr) WriteFile(expected, run.out);
  EXPECT_EQ(run.out, ReadFile(expected));
  EXPECT_EQ(ReadFile(work / "broken/Dictionary.txt"), broken) << "nothing is written";
  EXPECT_FALSE(fs::exists(work / "broken/Boke.dat"));

  // Under a Japanese locale, the same diagnostics in Japanese; severities and rules are names.
  run = RunProgram("check --dir broken", "", "LC_ALL=ja_JP.UTF-8");
  EXPECT_EQ(
      run.out.substr(0, run.out.find('\n') + 1),
      "Dictionary.txt:3:1: error: 「<KEY>」が 4 行目の「<ANS>」より前で閉じていません。キーは "
      "5 行目の「</KEY>」まで続き、間の項目 1 個は読まれません [unclosed-key]\n");
  EXPECT_NE(run.out.find("\nエラー 3 件、警告 2 件、注記 2 件\n"), std::string::npos) << run.out;

  // The lowest severity shown; the summary and the exit code still count everything.
  const struct {
    const char* args;
    const char* shown;  // the severities of the lines shown, in order: e error, w warning
  } kSeverities[] = {
      {"check --severity=note", "eeewnwn"},   {"check --severity=warning", "eeeww"},
      {"check --severity=error", "eee"},      {"check -q", "eee"},
      {"check --quiet --format=json", "eee"},
  };
  for (const auto& c : kSeverities) {
    run = RunProgram(std::string(c.args) + " --dir broken", "");
    EXPECT_EQ(run.exitCode, 1) << c.args;
    std::string shown;
    for (size_t at = 0; at < run.out.size(); at = run.out.find('\n', at) + 1) {
      const std::string line = run.out.substr(at, run.out.find('\n', at) - at);
      for (const char* severity : {"error", "warning", "note"}) {
        if (line.find(std::string(": ") + severity + ": ") != std::string::npos ||
            line.find(std::string("\"severity\":\"") + severity) != std::string::npos) {
          shown += severity[0];
        }
      }
    }
    EXPECT_EQ(shown, c.shown) << c.args << "\n" << run.out;
    const bool json = std::string(c.args).find("json") != std::string::npos;
    EXPECT_EQ(run.out.find("3 errors, 2 warnings, 2 notes\n") != std::string::npos, !json)
        << run.out;
  }

  run = RunProgram("check --format=json --dir=broken", "");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out.substr(0, run.out.find('\n') + 1),
            "{\"file\":\"Dictionary.txt\",\"line\":3,\"column\":1,\"severity\":\"error\","
            "\"rule\":\"unclosed-key\",\"message\":\"\\\"<KEY>\\\" is not closed before the "
            "\\\"<ANS>\\\" on line 4: the key runs on to the \\\"</KEY>\\\" on line 5, and the "
            "entry in between is never read\"}\n");

  // A first session writes every prompt: Mimoza's own words get no word from the check.
  run = RunProgram("--jsonl --seed 4242 --dir fresh",
                   "{\"submit\":\"ねこねこ\"}\n{\"submit\":\"うん\"}\n{\"submit\":\"にゃーん\"}\n"
                   "{\"submit\":\"ねこねこ\",\"ctrl\":true}\n{\"submit\":\"いいえ\"}\n");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  run = RunProgram("check --dir fresh", "");
  EXPECT_EQ(run.exitCode, 0) << run.out;
  EXPECT_EQ(run.out.find("error:"), std::string::npos) << run.out;
  EXPECT_EQ(run.out,
            "no problems found\nworst-case turn: 0 search steps, about 0 ms (a turn may take "
            "16000000, about 100 ms)\n");

  const struct {
    const char* args;
    int exitCode;
    const char* errHas;
  } kCases[] = {
      {"check --format=xml --dir fresh", 2, "usage: mimoza check"},
      {"check --severity=info --dir fresh", 2, "--severity needs error, warning or note"},
      {"check --dir", 2, "usage: mimoza check"},
      {"check stray --dir fresh", 2, "usage: mimoza check"},
      {"check --dir missing", 1, "cannot use the data directory missing"},
      {"edit --dir fresh", 2, "needs a terminal"},
      {"edit --bogus", 2, "usage: mimoza edit"},
  };
  for (const auto& c : kCases) {
    run = RunProgram(c.args, "");
    EXPECT_EQ(run.exitCode, c.exitCode) << c.args;
    EXPECT_NE(run.err.find(c.errHas), std::string::npos) << c.args << ": " << run.err;
  }
  EXPECT_FALSE(fs::exists(work / "missing")) << "check makes no folder";
}

// What a data folder or the output may hold that must not hang the program, lose what it learned
// or reach a terminal raw.
TEST_F(ProgramTest, DataFolderAndOutputFaults) {
  // A FIFO or a directory named Dictionary.txt: said once, exit 1, no waiting for a writer.
  fs::create_directories(work / "fifo");
  ASSERT_EQ(mkfifo((work / "fifo/Dictionary.txt").c_str(), 0600), 0);
  ProgramRun run = RunProgram("--dir fifo", "abc\n", "timeout 20");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("cannot read"), std::string::npos) << run.err;
  fs::create_directories(work / "folder/Dictionary.txt");
  run = RunProgram("--dir folder", "abc\n");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("cannot read"), std::string::npos) << run.err;

  // A 0x1A in the middle hides nothing after it, and the defaults are not appended again.
  fs::create_directories(work / "eof");
  const std::string marked =
      "<KEY><SMES0></KEY>\r\n<ANS>t</ANS>\r\n\x1a<KEY>abc</KEY>\r\n<ANS>after</ANS>\r\n";
  WriteFile(work / "eof/Dictionary.txt", marked);
  run = RunProgram("--dir eof --seed 4242", "abc\n");
  EXPECT_EQ(run.out, "after\n");
  EXPECT_EQ(ReadFile(work / "eof/Dictionary.txt"), marked);

  // An answer cannot send commands to the terminal nor break the one line a response.
  fs::create_directories(work / "raw");
  WriteFile(work / "raw/Dictionary.txt",
            "<KEY>abc</KEY><ANS>x\x1b]0;owned\x07y\x1b[2J\r\nz\x7f\xC2</ANS>");
  run = RunProgram("--dir raw --seed 4242", "abc\n");
  EXPECT_EQ(run.out,
            "x\xEF\xBF\xBD]0;owned\xEF\xBF\xBDy\xEF\xBF\xBD[2J z\xEF\xBF\xBD\xEF\xBE\x82\n");

  // Output that cannot be written ends the program with a message and exit 1.
  run = RunProgram("--dir full --seed 4242", "abc\nabcd\n", "", "/dev/full");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("cannot write the output"), std::string::npos) << run.err;

  // A closed pipe ends the program by SIGPIPE even when the parent ignores it, as every filter.
  fs::create_directories(work / "pipe");
  WriteFile(work / "pipe/Dictionary.txt", "<KEY>a</KEY><ANS>" + std::string(200, 'b') + "</ANS>");
  std::string many;
  for (int i = 0; i < 2000; ++i) many += "a\n";
  WriteFile(work / "many", many);
  const std::string piped =
      "cd '" + work.string() + "' && trap '' PIPE && ( '" + MIMOZA_PROGRAM +
      "' --dir pipe <many 2>pipe.err; echo $? >pipe.status ) | head -1 >/dev/null";
  ASSERT_EQ(std::system(piped.c_str()), 0);
  EXPECT_EQ(ReadFile(work / "pipe.status"), "141\n");
  EXPECT_EQ(ReadFile(work / "pipe.err"), "");

  // A Dictionary.txt that cannot be opened for appending, a link to nowhere included: said once;
  // the prompts it lacks are their defaults.
  fs::create_directories(work / "dangling");
  fs::create_symlink("missing/Dictionary.txt", work / "dangling/Dictionary.txt");
  run = RunProgram("--jsonl --dir dangling --seed 4242", "{\"submit\":\"ねこねこ\"}\n");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.err.find("cannot learn"), std::string::npos) << run.err;
  EXPECT_EQ(run.out,
            "{\"event\":\"title\",\"text\":\"ミモザ\"}\n{\"event\":\"response\",\"text\":"
            "\"覚えていい？\"}\n");

  // What the environment puts in a message is made visible, never sent to the terminal raw.
  run = RunProgram("--dir $(printf 'stdin/\\033[2J') --seed 1", "abc\n");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("stdin/\\x1B[2J"), std::string::npos) << run.err;
  run = RunProgram("--bo$(printf '\\033')gus", "");
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.err.find("--bo\\x1Bgus"), std::string::npos) << run.err;
  run = RunProgram("--seed 1", "abc\n", "XDG_DATA_HOME=\"$PWD/stdin/$(printf '\\007')x\"");
  EXPECT_NE(run.err.find("/stdin/\\x07x/mimoza"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find('\x07'), std::string::npos) << run.err;

  // A pair that cannot be stored is said so: on stderr when piped, as an event in JSON lines.
  run = RunProgram("--dir tags --seed 4242", "ab</KEY>cd\nうん\nにゃ\n");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.err.find("could not store the pair"), std::string::npos) << run.err;
  run = RunProgram("--jsonl --dir limit --seed 4242",
                   "{\"submit\":\"ねこねこ\"}\n{\"submit\":\"うん\"}\n{\"submit\":\"" +
                       std::string(2000, 'x') + "\"}\n",
                   "sh -c 'ulimit -f 1; exec \"$0\" \"$@\"'");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find(
                "{\"event\":\"error\",\"message\":\"could not store the pair: File too large\"}"),
            std::string::npos)
      << run.out;

  // A seed with leading zeros is the number it spells.
  EXPECT_EQ(RunProgram("--seed 00000000001 --dir zeros", "abc\n").out,
            RunProgram("--seed 1 --dir ones", "abc\n").out);
  EXPECT_EQ(RunProgram("--seed 00000000001 --dir zeros", "abc\n").exitCode, 0);
}

// mimoza help: the general help is --help's and names every command; help COMMAND is that
// command's --help, its usage first; a COMMAND it does not know, or two, are usage errors.
TEST_F(ProgramTest, Help) {
  const ProgramRun general = RunProgram("help", "");
  EXPECT_EQ(general.exitCode, 0);
  EXPECT_EQ(general.err, "");
  EXPECT_EQ(general.out, RunProgram("--help", "").out);
  const struct {
    const char* command;
    const char* option;  // one its help must name
  } kCommands[] = {
      {"explain", "--dir"}, {"check", "--format"}, {"edit", "--dir"}, {"help", "COMMAND"}};
  for (const auto& c : kCommands) {
    const std::string command = c.command;
    EXPECT_NE(general.out.find("\n       mimoza " + command + " ["), std::string::npos) << command;
    EXPECT_NE(general.out.find("\n  " + command + " "), std::string::npos) << command;
    const ProgramRun help = RunProgram("help " + command, "");
    EXPECT_EQ(help.exitCode, 0) << command;
    EXPECT_EQ(help.err, "") << command;
    EXPECT_EQ(help.out.rfind("usage: mimoza " + command + " [", 0), 0) << help.out;
    EXPECT_NE(help.out.find(c.option), std::string::npos) << help.out;
    EXPECT_EQ(help.out, RunProgram(command + " --help", "").out) << command;
  }
  for (const char* bad : {"help bogus", "help check edit", "help --dir x"}) {
    const ProgramRun run = RunProgram(bad, "");
    EXPECT_EQ(run.exitCode, 2) << bad;
    EXPECT_EQ(run.out, "") << bad;
    EXPECT_NE(run.err.find("usage: mimoza help [COMMAND]\n"), std::string::npos) << run.err;
  }
}

// mimoza explain: what each line would do, from the data directory as it is, which it leaves
// byte for byte, each answer with its own lines; an explanation in JSON lines draws nothing, so
// the turns after it are the same.
TEST_F(ProgramTest, Explain) {
  fs::create_directories(work / "d");
  const std::string dictionary = ReadFile(kFixtures / "jsonl_explain.dict");
  WriteFile(work / "d/Dictionary.txt", dictionary);
  WriteFile(work / "d/Boke.dat", "\x82\xDA\x82\xAF\r\n");  // ぼけ
  ProgramRun run = RunProgram("explain --dir d ねこが好き -- --dir", "");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  for (const char* has :
       {"> ねこが好き\n  Dictionary.txt:3  key ねこ  matches [ねこ]が好き\n",
        "  answer にゃーん  29491/65536 (45.00%)  from Dictionary.txt:4, Dictionary.txt:8\n",
        "  quip  3277/32768 (10.00%)  a line of Boke.dat: 1 line, each 32768 of the 32768 draws\n",
        "\n> --dir\n  no key matches\n  quip  1/1 (100.00%)"}) {
    EXPECT_NE(run.out.find(has), std::string::npos) << has << " in\n" << run.out;
  }
  EXPECT_EQ(ReadFile(work / "d/Boke.dat"), "\x82\xDA\x82\xAF\r\n");
  fs::remove(work / "d/Boke.dat");
  run = RunProgram("explain --dir=d", "うさぎ\r\nab\n");  // lines from the input
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("the offer to learn the line, 1/1 (100.00%), saying\n"
                         "    えす？  1/1 (100.00%)  from Dictionary.txt:10 (key SMES)\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("> ab\n  no key matches\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("so both lines are cleared, 1/1 (100.00%)\n"), std::string::npos);
  EXPECT_EQ(ReadFile(work / "d/Dictionary.txt"), dictionary);
  // An empty directory stays empty: prompts show their defaults instead of being stored.
  fs::create_directories(work / "empty");
  run = RunProgram("explain --dir empty ねこねこ", "");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("覚えていい？  1/1 (100.00%)  the built-in default"), std::string::npos);
  EXPECT_TRUE(fs::is_empty(work / "empty"));
  // A directory that is not there is not made.
  run = RunProgram("explain --dir missing x", "");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_FALSE(fs::exists(work / "missing"));
  for (const char* bad : {"explain --dir", "explain --bogus x", "explain --dir= x"}) {
    run = RunProgram(bad, "");
    EXPECT_EQ(run.exitCode, 2) << bad;
    EXPECT_NE(run.err.find("usage: mimoza explain"), std::string::npos) << bad;
  }

  // The same turns with and without explanations before them.
  const std::string turns = "{\"submit\":\"ねこが好き\"}\n{\"submit\":\"ねこ\"}\n";
  std::string explained;
  for (const char* line : {"ねこが好き", "うさぎ", "ab"}) {
    explained += std::string("{\"explain\":\"") + line + "\"}\n";
  }
  const ProgramRun plain = RunProgram("--jsonl --seed 99999 --dir d", turns);
  WriteFile(work / "d/Dictionary.txt", dictionary);
  run = RunProgram("--jsonl --seed 99999 --dir d", explained + turns);
  std::string responses;
  for (size_t at = 0; (at = run.out.find("{\"event\":\"response", at)) != std::string::npos;) {
    const size_t end = run.out.find('\n', at) + 1;
    responses += run.out.substr(at, end - at);
    at = end;
  }
  EXPECT_EQ("{\"event\":\"title\",\"text\":\"ミモザ\"}\n" + responses, plain.out);
}

// A 10,000-byte line is cut to 5999 bytes at a character boundary before it is submitted; the
// learned key shows exactly what was submitted.
TEST_F(ProgramTest, LongLinesAreCut) {
  std::string kana;
  for (int i = 0; i < 5000; ++i) kana += "あ";  // 10,000 bytes in code page 932
  const std::string input = "{\"submit\":\"" + kana + "\"}\n{\"submit\":\"はい\"}\n" +
                            "{\"submit\":\"" + std::string(10000, 'x') + "\"}\n";
  const ProgramRun run = RunProgram("--jsonl --seed 2 --dir d", input);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  const std::string dictionary = ReadFile(work / "d/Dictionary.txt");
  std::string keyCp932;
  for (int i = 0; i < 2999; ++i) keyCp932 += "\x82\xA0";
  EXPECT_NE(
      dictionary.find("<KEY>" + keyCp932 + "</KEY>\r\n<ANS>" + std::string(5999, 'x') + "</ANS>"),
      std::string::npos);

  // A JSON line beyond what any submission can need is refused whole; the session goes on.
  const ProgramRun huge =
      RunProgram("--jsonl --seed 2 --dir h",
                 "{\"submit\":\"" + std::string(2000000, 'x') + "\"}\n{\"click\":true}\n");
  EXPECT_EQ(huge.exitCode, 0) << huge.err;
  EXPECT_EQ(huge.out,
            "{\"event\":\"title\",\"text\":\"ミモザ\"}\n"
            "{\"event\":\"error\",\"message\":\"line too long\"}\n");

  // The same through a pipe, with an even longer line and one line end of CR LF.
  const ProgramRun piped =
      RunProgram("--seed 2 --dir p", std::string(100000, 'y') + "\r\nうん\r\nz\n");
  EXPECT_EQ(piped.exitCode, 0) << piped.err;
  EXPECT_NE(ReadFile(work / "p/Dictionary.txt")
                .find("<KEY>" + std::string(5999, 'y') + "</KEY>\r\n<ANS>z</ANS>"),
            std::string::npos);
}

}  // namespace
