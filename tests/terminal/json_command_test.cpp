// tests/terminal/json_command_test.cpp: the JSON-lines command reader and string writer.
#include "terminal/faces/json_command.h"

#include <gtest/gtest.h>

#include <string>

#include "terminal/common/json_text.h"

namespace mimoza {
namespace {

// Dump: a command as one comparable text: submit(TEXT,ctrl) / click / explain(TEXT) /
// forget(last|LINE:COLUMN[,all]) / cancel / error.
std::string Dump(const Command& command) {
  switch (command.kind) {
    case CmdSubmit:
      return "submit(" + command.text + (command.ctrl ? ",ctrl)" : ")");
    case CmdClick:
      return "click";
    case CmdExplain:
      return "explain(" + command.text + ")";
    case CmdForget:
      return "forget(" +
             (command.forgetLast
                  ? std::string("last")
                  : std::to_string(command.line) + ":" + std::to_string(command.column)) +
             (command.all ? ",all)" : ")");
    case CmdCancel:
      return "cancel";
    case CmdError:
      return command.message.empty() ? "error without message" : "error";
  }
  return "?";
}

TEST(JsonCommandTest, AcceptedCommands) {
  const struct {
    std::string line;
    std::string dump;
  } kCases[] = {
      {R"({"submit":"こんにちは"})", "submit(こんにちは)"},
      {R"({"submit":"x","ctrl":true})", "submit(x,ctrl)"},
      {R"({"submit":"x","ctrl":false})", "submit(x)"},
      {R"({"ctrl":true,"submit":"x"})", "submit(x,ctrl)"},  // members in any order
      {" \t{ \"submit\" : \"x\" , \"ctrl\" : true }\r ", "submit(x,ctrl)"},
      {R"({"submit":""})", "submit()"},  // valid; the host then runs nothing
      {R"({"click":true})", "click"},
      {R"({"explain":"ねこあ"})", "explain(ねこあ)"},
      {R"( { "explain" : "" } )", "explain()"},
      {R"({"submit":"a\"b\\c\/d\n\t\r\b\f"})", "submit(a\"b\\c/d\n\t\r\b\f)"},
      {R"({"submit":"\u3042\u00e9A"})", "submit(あéA)"},
      {R"({"submit":"\uD83D\uDE00"})", "submit(😀)"},  // a surrogate pair
      {R"({"submit":"\ud83d\ude00"})", "submit(😀)"},  // lower-case hex
      {R"({"submit":"a\uD83Db"})",
       "submit(a\xEF\xBF\xBD"
       "b)"},                                                                // lone high surrogate
      {R"({"submit":"\uDE00\uD83D"})", "submit(\xEF\xBF\xBD\xEF\xBF\xBD)"},  // reversed pair
      {R"({"submit":"\uD83D\u3042"})",
       "submit(\xEF\xBF\xBD"
       "あ)"},                                                        // high, then no low
      {R"({"submit":"a\u0000b"})", std::string("submit(a\0b)", 11)},  // the host cuts at NUL
      {"{\"submit\":\"\xFF\"}", "submit(\xFF)"},  // raw bytes pass; conversion makes them "?"
      {R"({"forget":"last"})", "forget(last)"},
      {R"({"all":true,"forget":"last"})", "forget(last,all)"},
      {R"({"forget":{"line":12}})", "forget(12:0)"},
      {R"({ "forget" : { "column" : 2 , "all" : true , "line" : 4294967295 } })",
       "forget(4294967295:2,all)"},
      {R"({"forget":{"line":3,"all":false}})", "forget(3:0)"},
      {R"({"cancel":true})", "cancel"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(Dump(ParseCommand(c.line)), c.dump) << c.line;
  }
}

TEST(JsonCommandTest, RejectedLines) {
  const char* kLines[] = {
      "",
      "   ",
      "submit",
      "[]",
      "{}",
      "null",
      R"("submit")",
      R"({"submit":"x"} {"click":true})",
      R"({"submit":"x"},)",
      R"({"submit":"x",})",
      R"({"submit":"x")",
      R"({"submit":"x)",
      R"({"submit":x})",
      R"({"submit":1})",
      R"({"submit":null})",
      R"({"submit":["x"]})",
      R"({'submit':'x'})",
      R"({"Submit":"x"})",
      R"({"submit":"x","ctrl":1})",
      R"({"submit":"x","ctrl":"true"})",
      R"({"submit":"x","ctrl":truex})",
      R"({"submit":"x","ctrl":tru})",
      R"({"ctrl":true})",
      R"({"submit":"x","submit":"y"})",
      R"({"submit":"x","ctrl":true,"ctrl":false})",
      R"({"submit":"x","extra":1})",
      R"({"click":false})",
      R"({"click":1})",
      R"({"click":true,"click":true})",
      R"({"click":true,"submit":"x"})",
      R"({"click":true,"ctrl":true})",
      R"({"submit":"\x"})",
      R"({"submit":"\u12"})",
      R"({"submit":"\u12G4"})",
      R"({"submit":"\uD83D\u12"})",
      "{\"submit\":\"a\tb\"}",  // a raw control character
      "{\"submit\":\"a\nb\"}",
      "{\"submit\":\"x\\",
      R"({"submit" "x"})",
      R"({"submit":"x";"ctrl":true})",
      R"({"explain":true})",
      R"({"explain":"x","explain":"y"})",
      R"({"explain":"x","submit":"y"})",
      R"({"explain":"x","ctrl":true})",
      R"({"explain":"x","click":true})",
      R"({"forget":"first"})",
      R"({"forget":true})",
      R"({"forget":{}})",
      R"({"forget":{"column":1}})",
      R"({"forget":{"line":0}})",
      R"({"forget":{"line":-1}})",
      R"({"forget":{"line":1.5}})",
      R"({"forget":{"line":1e3}})",
      R"({"forget":{"line":4294967296}})",
      R"({"forget":{"line":"1"}})",
      R"({"forget":{"line":1,"line":2}})",
      R"({"forget":{"line":1,"other":2}})",
      R"({"forget":{"line":1,"all":1}})",
      R"({"forget":{"line":1})",
      R"({"forget":{"line":1}"})",
      R"({"forget":{"line":1},"all":true})",
      R"({"forget":"last","submit":"x"})",
      R"({"forget":"last","forget":"last"})",
      R"({"all":true})",
      R"({"cancel":false})",
      R"({"cancel":true,"submit":"x"})",
      R"({"cancel":true,"forget":"last"})",
      R"({"cancel":true,"all":true})",
  };
  for (const char* line : kLines) {
    EXPECT_EQ(Dump(ParseCommand(line)), "error") << line;
  }
}

TEST(JsonCommandTest, AppendJsonString) {
  const struct {
    std::string text;
    const char* json;
  } kCases[] = {
      {"", R"("")"},
      {"ミモザ", R"("ミモザ")"},
      {"quip\n", R"("quip\n")"},
      {"a\"b\\c/d", R"("a\"b\\c/d")"},
      {"\r\t", R"("\r\t")"},
      {std::string("\x01\x1F\x7F", 3), "\"\\u0001\\u001f\x7F\""},
  };
  for (const auto& c : kCases) {
    std::string out = "<";
    AppendJsonString(out, c.text);
    EXPECT_EQ(out, std::string("<") + c.json);
  }
  // What the writer writes, the reader reads back.
  const std::string kText = "one \"two\"\n\\three\x01";
  std::string line = "{\"submit\":";
  AppendJsonString(line, kText);
  line += "}";
  EXPECT_EQ(Dump(ParseCommand(line)), "submit(" + kText + ")");
}

}  // namespace
}  // namespace mimoza
