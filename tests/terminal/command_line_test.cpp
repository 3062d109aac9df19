// tests/terminal/command_line_test.cpp: the command frame's one reader of command lines, on every
// form an option or a word can take, as a table of argument lists and what was read.
#include "terminal/common/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mimoza {
namespace {

bool IsDigits(std::string_view value) {
  return !value.empty() && value.find_first_not_of("0123456789") == std::string_view::npos;
}

int RunNothing(const SubcommandCall&) { return 0; }

constexpr CommandOption kShortAndLong[] = {
    kHelpOption,
    {"--dir", 'd', true, IsNotEmpty, "a directory"},
    {"--quiet", 'q'},
    {"--count", 'n', true, IsDigits, "a number"},
};
constexpr CommandOption kLongOnly[] = {kDirOption};

constexpr Subcommand kTable[] = {
    {"", "mimoza [-q] [-d DIR] [-n N]", "", "", kShortAndLong, true, RunNothing},
    {"lines", "mimoza lines [--dir DIR] [LINE...]", "", "", kLongOnly, true, RunNothing},
    {"none", "mimoza none", "", "", {}, false, RunNothing},
};

// Read: what the reader made of args for the named command: the options in order ("--dir=a",
// "--quiet"), then the words in quotes; or "error: " and what it said on stderr.
std::string Read(const char* command, const std::vector<const char*>& args) {
  SubcommandCall call;
  call.command = command[0] == '\0' ? &kTable[0] : FindSubcommand(kTable, command);
  call.table = kTable;
  std::vector<char*> argv;
  argv.reserve(args.size());
  for (const char* arg : args) argv.push_back(const_cast<char*>(arg));
  testing::internal::CaptureStderr();
  const bool read = ReadCommandLine(*call.command, argv, &call);
  const std::string said = testing::internal::GetCapturedStderr();
  if (!read) return "error: " + said.substr(0, said.find('\n'));
  std::string dump;
  for (const GivenOption& option : call.options) {
    dump += (dump.empty() ? "" : " ") + std::string(option.name);
    if (!option.value.empty()) dump += "=" + std::string(option.value);
  }
  for (const std::string_view word : call.words) {
    dump += (dump.empty() ? "'" : " '") + std::string(word) + "'";
  }
  return dump;
}

TEST(CommandLineTest, EveryFormOfAnOptionAndAWord) {
  const struct {
    const char* command;
    std::vector<const char*> args;
    const char* read;
  } kCases[] = {
      {"", {"--dir", "a", "--dir=b", "-d", "c", "-dd"}, "--dir=a --dir=b --dir=c --dir=d"},
      {"", {"-qn7", "x", "-q", "--quiet"}, "--quiet --count=7 --quiet --quiet 'x'"},
      {"", {"--dir=a=b", "--dir", "--quiet"}, "--dir=a=b --dir=--quiet"},
      {"", {"-h", "-", "--", "-q", "--dir"}, "--help '-' '-q' '--dir'"},
      {"", {"--"}, ""},
      {"lines", {"-_-", "-h", "--help", "x"}, "--help '-_-' '-h' 'x'"},  // no short forms here
      // What is refused, and the words that say why.
      {"", {"--dir="}, "error: mimoza: --dir needs a directory"},
      {"", {"-n", "x"}, "error: mimoza: --count needs a number"},
      {"", {"--quiet=1"}, "error: mimoza: --quiet=1 takes no value"},
      {"", {"--dir"}, "error: mimoza: --dir needs a value"},
      {"", {"-q", "-d"}, "error: mimoza: -d needs a value"},
      {"", {"-qx"}, "error: mimoza: unknown option -x"},
      {"", {"--bogus=1"}, "error: mimoza: unknown option --bogus=1"},
      {"lines", {"--quiet"}, "error: mimoza lines: unknown option --quiet"},
      {"none", {"--help", "x"}, "error: mimoza none: unknown argument x"},
      {"none", {"--", "--dir"}, "error: mimoza none: unknown argument --dir"},
  };
  for (const auto& c : kCases) {
    std::string args;
    for (const char* arg : c.args) args += std::string(" ") + arg;
    EXPECT_EQ(Read(c.command, c.args), c.read) << c.command << args;
  }
}

TEST(CommandLineTest, TheLastValueCounts) {
  char count[] = "-n";
  char one[] = "1";
  char two[] = "--count=2";
  char* args[] = {count, one, two};
  SubcommandCall call;
  call.command = &kTable[0];
  ASSERT_TRUE(ReadCommandLine(kTable[0], args, &call));
  EXPECT_EQ(call.Value("--count"), "2");
  EXPECT_FALSE(call.Has("--dir"));
  EXPECT_EQ(call.Value("--dir"), "");
}

}  // namespace
}  // namespace mimoza
