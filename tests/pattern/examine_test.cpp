// tests/pattern/examine_test.cpp: what a checker of keys is told of a pattern (why it compiles to
// nothing, whether it can match, matches every line, spreads an anchor), and the cost of its
// search in lines built to be hard for it.
#include <gtest/gtest.h>

#include <string>

#include "dump.h"
#include "pattern/limits.h"
#include "pattern/pattern.h"

namespace mimoza {
namespace {

// Examination: "ok" or the failure and its bound, then the flags that are set.
std::string Examination(const char* text) {
  PatternExamination examination;
  const PatternPtr pattern = ExaminePattern(text, &examination);
  const char* kFailures[] = {"ok", "nodes", "states", "memory"};
  std::string out = kFailures[examination.failure];
  if (examination.failure != CompileOk) out += " " + std::to_string(examination.bound);
  EXPECT_EQ(pattern == nullptr, examination.failure != CompileOk) << text;
  if (examination.canMatch) out += " can";
  if (examination.matchesEmpty) out += " empty";
  if (examination.lineStartSpreads) out += " ^all";
  if (examination.lineEndSpreads) out += " $all";
  return out;
}

TEST(Examine, WhatACheckerIsTold) {
  const struct {
    const char* pattern;
    const char* told;
  } kCases[] = {
      {"abc", "ok can"},
      {"a*", "ok can empty"},
      {"(|x)", "ok can empty"},
      {"", "ok can empty"},
      {"^", "ok can empty"},
      {"a^b", "ok"},  // a "^" after the start is never passed
      {"a$b", "ok"},
      {"+a", "ok"},  // a repeat of nothing, and nothing through it
      {"[^\\x01-\\xff]", "ok"},
      {"(^a)", "ok"},  // the anchor stands after the group's start: that way is closed
      {"(^a|b)", "ok can"},
      {"^a|b", "ok can ^all"},
      {"b|^a", "ok can ^all"},
      {"^a|^b", "ok can"},
      {"^(a|b)", "ok can"},
      {"a$|b", "ok can $all"},
      {"(a|b)$", "ok can"},
      {"^a|", "ok can empty ^all"},
      {"\x82\xcd\x82\xa2|y|^\x82\xe2\x82\xc1\x82\xc4", "ok can ^all"},  // the default yes list
      {"a{200000}", "nodes 100000"},
      {"(((a{1000}){1000}){1000})", "nodes 100000"},
      {"x{60000}", "nodes 100000"},  // plain, compiled without a tree: the same bound
  };
  for (const auto& c : kCases) EXPECT_EQ(Examination(c.pattern), c.told) << DumpBytes(c.pattern);
}

TEST(Examine, HardLineCost) {
  const int64_t kNoFloor = -1;
  const struct {
    const char* pattern;
    int64_t floor;
    int64_t fewest;  // at least this many steps
    int64_t most;    // at most this many
    bool gaveUp;
    const char* repeated;
  } kCases[] = {
      {"abc", kNoFloor, 0, 0, false, ""},  // plain: searched as bytes
      {"a|b", 300000, 0, 0, false, ""},    // too few states to reach the floor: not searched
      // Steps count the stack the walk touches too: a deep walk takes several times its pairs.
      {"(a|aa)*b", kNoFloor, 150000, 230000, false, "a"},
      {"x(a|b|c)*y", kNoFloor, 20000, 40000, false, "x"},
      {"\x82\xa0(\x82\xa0|a)*b", kNoFloor, 70000, 120000, false, "\x82\xa0"},
      {".*.*.*x", kNoFloor, 100000, 170000, false, " "},
      {"(a?){5000}a{5000}", kNoFloor, kSearchStepBudget, kSearchStepBudget, true, "a"},
      {"((a?){100}){100}b", 250000, kSearchStepBudget, kSearchStepBudget, true, "a"},
  };
  for (const auto& c : kCases) {
    const PatternPtr pattern(CompilePattern(c.pattern));
    ASSERT_NE(pattern, nullptr) << c.pattern;
    const SearchCost cost = HardLineCost(pattern.get(), 5999, c.floor);
    EXPECT_GE(cost.steps, c.fewest) << c.pattern;
    EXPECT_LE(cost.steps, c.most) << c.pattern;
    EXPECT_EQ(cost.gaveUp, c.gaveUp) << c.pattern;
    if (cost.steps > 0) {
      EXPECT_STREQ(cost.repeated, c.repeated) << c.pattern;
    }
  }
  // Nothing to search: no pattern, an empty line.
  EXPECT_EQ(HardLineCost(nullptr, 5999, kNoFloor).steps, 0);
  const PatternPtr pattern(CompilePattern("(a|aa)*b"));
  EXPECT_EQ(HardLineCost(pattern.get(), 0, kNoFloor).steps, 0);
}

}  // namespace
}  // namespace mimoza
