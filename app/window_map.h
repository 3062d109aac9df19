// app/window_map.h: window handle -> the window object bound to it.
// Leaves this file: WindowMapNode, WindowMap, windowMap (the process-wide map).
// Tested by tests/app/window_map_test.cpp.
#pragma once

#include <windows.h>

#include <cstdint>

namespace mimoza {

class WindowBase;

// One entry, or one of the two sentinels that bracket the list.
struct WindowMapNode {
  HWND key;                 // the bound window; 0 in the sentinels
  int32_t inUse;            // 1 in an entry, 0 in a sentinel, so a sentinel never matches
  WindowBase* object;       // not owned; null in the sentinels
  WindowMapNode* next;      // null in the tail sentinel
  WindowMapNode* previous;  // null in the head sentinel
};

// A doubly linked list between two embedded sentinels, oldest entry first. The program binds one
// dialog at a time, so a walk is as fast as anything cleverer.
class WindowMap {
 public:
  WindowMap();
  WindowMap(const WindowMap&) = delete;  // the sentinels' links point into this object
  WindowMap& operator=(const WindowMap&) = delete;

  // Insert: adds an entry after every existing one; an entry with the same key is not looked
  // for. Returns 0, or -1 leaving the map as it was when no node can be allocated.
  int Insert(HWND key, WindowBase* object);
  // Find: the object of the oldest entry for key, or null.
  WindowBase* Find(HWND key) const;
  // Remove: unlinks and frees the oldest entry for key. False for key 0 and for an absent key.
  bool Remove(HWND key);
  // Clear: frees every entry and leaves the map empty and usable.
  void Clear();

  int32_t Count() const { return count; }
  const WindowMapNode& Head() const { return head; }
  const WindowMapNode& Tail() const { return tail; }

 private:
  WindowMapNode head;
  WindowMapNode tail;
  int32_t count;  // entries, sentinels not counted
};

// The process-wide map from dialog handle to object. Static initialisation constructs it empty
// and registers its Clear with atexit.
extern WindowMap windowMap;

}  // namespace mimoza
