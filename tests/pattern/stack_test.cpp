// tests/pattern/stack_test.cpp: long subjects, long patterns and deep nesting on a thread with a
// 1 MiB stack (the Windows default), where any recursion that grows with them would overflow.
#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>
#include <string>

#include "dump.h"

namespace mimoza {
namespace {

// RunOnSmallStack: runs body on a new thread whose stack is 1 MiB.
void RunOnSmallStack(const std::function<void()>& body) {
  pthread_attr_t attributes;
  ASSERT_EQ(pthread_attr_init(&attributes), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, 1 << 20), 0);
  pthread_t thread;
  auto run = [](void* argument) -> void* {
    (*static_cast<const std::function<void()>*>(argument))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attributes, run, const_cast<std::function<void()>*>(&body)),
            0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
}

std::string Nested(int depth, const std::string& inner) {
  return std::string(static_cast<size_t>(depth), '(') + inner +
         std::string(static_cast<size_t>(depth), ')');
}

TEST(StackSafety, LongSubjects) {
  RunOnSmallStack([] {
    const std::string line(5999, 'a');
    const std::string last = std::to_string(line.size());
    const std::string before = std::to_string(line.size() - 1);
    EXPECT_EQ(DumpSearch("(.)*", line.c_str()), "match 0-" + last + " g1=" + last + "-" + last);
    EXPECT_EQ(DumpSearch("((.))*", line.c_str()),
              "match 0-" + last + " g1=" + last + "-" + last + " g2=" + last + "-" + last);
    EXPECT_EQ(DumpSearch("a*", line.c_str()), "match 0-" + last);
    EXPECT_EQ(DumpSearch(".*?x", line.c_str()), "no");
    EXPECT_EQ(DumpSearch(".*?x", (line.substr(1) + "x").c_str()), "match 0-" + last);
    EXPECT_EQ(DumpSearch("(a|b)*?$", line.c_str()),
              "match 0-" + last + " g1=" + before + "-" + last);
    for (const char* pathological : {"(a*)*b", "(a|a)*b", "(a|aa)*c", "(.*)*x"}) {
      EXPECT_EQ(DumpSearch(pathological, line.c_str()), "no") << pathological;
    }
    EXPECT_EQ(DumpSearch("(a|aa)*$", (line.substr(1) + "!").c_str()), "no");
    // The plain walk keeps an explicit stack as well.
    EXPECT_EQ(DumpSearch("(.)*", line.c_str(), 0, WalkPlain),
              "match 0-" + last + " g1=" + last + "-" + last);
  });
}

TEST(StackSafety, LongAndDeepPatterns) {
  RunOnSmallStack([] {
    const std::string items(6000, 'a');
    EXPECT_EQ(DumpSearch(items.c_str(), items.c_str()), "match 0-6000");
    EXPECT_EQ(DumpSearch(items.c_str(), items.substr(1).c_str()), "no");
    std::string alternatives;
    for (int i = 0; i < 3000; ++i) alternatives += "b|";
    EXPECT_EQ(DumpSearch((alternatives + "a").c_str(), "xa"), "match 1-2");

    // 3000 nested groups parse, build, search and free; the spans reach every level.
    std::string deep = Nested(3000, "a");
    Pattern* pattern = CompilePattern(deep.c_str());
    ASSERT_NE(pattern, nullptr);
    EXPECT_EQ(pattern->groupSlots, 3001);
    MatchSpan* spans = nullptr;
    const char* subject = "xa";
    ASSERT_EQ(SearchPattern(pattern, subject, &spans, 0), 3001);
    EXPECT_EQ(spans[3000].start, subject + 1);
    EXPECT_EQ(spans[1].end, subject + 2);
    FreeSpans(spans);
    FreePattern(pattern);

    // Copies of a deep tree, and a deep tree under a star.
    EXPECT_EQ(DumpSearch((Nested(2000, "a") + "{3}").c_str(), "aaaa").substr(0, 9), "match 0-3");
    EXPECT_EQ(DumpSearch((Nested(2000, "a*") + "*b").c_str(), "aab").substr(0, 9), "match 0-3");
    // Nesting past what the size bound allows compiles to null rather than crashing.
    EXPECT_EQ(CompilePattern(Nested(40000, "a").c_str()), nullptr);
    EXPECT_EQ(CompilePattern(std::string(200000, '(').c_str()), nullptr);
  });
}

}  // namespace
}  // namespace mimoza
