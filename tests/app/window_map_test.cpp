// tests/app/window_map_test.cpp: the window map's list operations on maps of their own (the
// process-wide one belongs to the dialogs), checked through both directions of the links.
#include "app/window_map.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/window_base.h"

namespace mimoza {
namespace {

HWND Handle(uintptr_t value) { return reinterpret_cast<HWND>(value); }

// Keys from head to tail and from tail to head; both walks must agree after every change.
std::vector<uintptr_t> Forward(const WindowMap& map) {
  std::vector<uintptr_t> keys;
  for (const WindowMapNode* node = map.Head().next; node != &map.Tail(); node = node->next) {
    keys.push_back(reinterpret_cast<uintptr_t>(node->key));
  }
  return keys;
}

std::vector<uintptr_t> Backward(const WindowMap& map) {
  std::vector<uintptr_t> keys;
  for (const WindowMapNode* node = map.Tail().previous; node != &map.Head();
       node = node->previous) {
    keys.insert(keys.begin(), reinterpret_cast<uintptr_t>(node->key));
  }
  return keys;
}

void ExpectKeys(const WindowMap& map, const std::vector<uintptr_t>& keys) {
  EXPECT_EQ(Forward(map), keys);
  EXPECT_EQ(Backward(map), keys);
  EXPECT_EQ(map.Count(), static_cast<int32_t>(keys.size()));
  EXPECT_EQ(map.Head().previous, nullptr);
  EXPECT_EQ(map.Tail().next, nullptr);
}

TEST(WindowMapTest, AbsentKeysAndKeyZero) {
  WindowMap map;
  WindowBase object;
  EXPECT_EQ(map.Find(Handle(0x100)), nullptr);
  EXPECT_EQ(map.Find(nullptr), nullptr);  // the sentinels' key never matches
  EXPECT_FALSE(map.Remove(nullptr));
  ExpectKeys(map, {});

  map.Insert(Handle(0x100), &object);
  EXPECT_EQ(map.Find(Handle(0x200)), nullptr);
  EXPECT_FALSE(map.Remove(Handle(0x200)));
  EXPECT_FALSE(map.Remove(nullptr));
  ExpectKeys(map, {0x100});
}

TEST(WindowMapTest, TwoInsertsWithOneKeyStayInOrder) {
  WindowMap map;
  WindowBase older, newer;
  EXPECT_EQ(map.Insert(Handle(0x100), &older), 0);
  EXPECT_EQ(map.Insert(Handle(0x100), &newer), 0);
  ExpectKeys(map, {0x100, 0x100});
  EXPECT_EQ(map.Find(Handle(0x100)), &older);

  EXPECT_TRUE(map.Remove(Handle(0x100)));
  ExpectKeys(map, {0x100});
  EXPECT_EQ(map.Find(Handle(0x100)), &newer);

  EXPECT_TRUE(map.Remove(Handle(0x100)));
  EXPECT_FALSE(map.Remove(Handle(0x100)));
  ExpectKeys(map, {});
}

TEST(WindowMapTest, RemovingFromTheMiddleAndTheEndsKeepsTheLinks) {
  WindowMap map;
  WindowBase a, b, c, d;
  map.Insert(Handle(1), &a);
  map.Insert(Handle(2), &b);
  map.Insert(Handle(3), &c);
  map.Insert(Handle(4), &d);
  EXPECT_TRUE(map.Remove(Handle(2)));
  ExpectKeys(map, {1, 3, 4});
  EXPECT_TRUE(map.Remove(Handle(1)));
  ExpectKeys(map, {3, 4});
  EXPECT_TRUE(map.Remove(Handle(4)));
  ExpectKeys(map, {3});
  EXPECT_EQ(map.Find(Handle(3)), &c);
}

TEST(WindowMapTest, ClearEmptiesTheMapAndLeavesItUsable) {
  WindowMap map;
  WindowBase a, b;
  map.Insert(Handle(1), &a);
  map.Insert(Handle(2), &b);
  map.Clear();
  ExpectKeys(map, {});
  EXPECT_EQ(map.Find(Handle(1)), nullptr);
  map.Insert(Handle(5), &b);
  ExpectKeys(map, {5});
  EXPECT_EQ(map.Find(Handle(5)), &b);
}

}  // namespace
}  // namespace mimoza
