// app/window_map.cpp: the window map's list operations and the process-wide instance.
// Leaves this file: WindowMap's operations, windowMap. Tested by tests/app/window_map_test.cpp.
#include "app/window_map.h"

#include <cstdlib>
#include <new>

namespace mimoza {

WindowMap::WindowMap()
    : head{nullptr, 0, nullptr, &tail, nullptr},
      tail{nullptr, 0, nullptr, nullptr, &head},
      count(0) {}

int WindowMap::Insert(HWND key, WindowBase* object) {
  auto* node = new (std::nothrow) WindowMapNode{key, 1, object, &tail, tail.previous};
  if (node == nullptr) return -1;
  tail.previous->next = node;
  tail.previous = node;
  ++count;
  return 0;
}

WindowBase* WindowMap::Find(HWND key) const {
  for (const WindowMapNode* node = &head; node != nullptr; node = node->next) {
    if (node->key == key && node->inUse == 1) return node->object;
  }
  return nullptr;
}

bool WindowMap::Remove(HWND key) {
  // Key 0 is the sentinels' key: refusing it at once keeps them linked.
  if (key == nullptr) return false;
  for (WindowMapNode* node = head.next; node != &tail; node = node->next) {
    if (node->key != key) continue;
    node->previous->next = node->next;
    node->next->previous = node->previous;
    delete node;
    --count;
    return true;
  }
  return false;
}

void WindowMap::Clear() {
  WindowMapNode* node = head.next;
  while (node != &tail) {
    WindowMapNode* next = node->next;
    delete node;
    --count;
    node = next;
  }
  // Relinking the sentinels leaves no dangling link for a later Insert or Find to follow.
  head.next = &tail;
  tail.previous = &head;
}

WindowMap windowMap;

namespace {

void ClearWindowMap() { windowMap.Clear(); }

// Registered right after windowMap is constructed (same file, declared below it), so the map is
// emptied on the runtime's exit path; it is normally empty already, since every dialog leaves it
// at WM_NCDESTROY.
[[maybe_unused]] const int clearRegistered = std::atexit(ClearWindowMap);

}  // namespace

}  // namespace mimoza
