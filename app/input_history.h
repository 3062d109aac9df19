// app/input_history.h: the lines submitted this session -> what Up and Down put in the input box.
// The dialog keeps no history file: the walk starts empty with each run.
// Leaves this file: InputHistory. Tested by tests/app/chat_dialog_test.cpp (through the keys).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace mimoza {

// Up steps to older lines, Down back towards the line being typed, which is kept aside meanwhile,
// as shells do. A recalled line may be edited and submitted; the history itself is not changed.
class InputHistory {
 public:
  // As many lines as the terminal program keeps; a session rarely comes near.
  static constexpr size_t kMaxLines = 1000;

  // Remember: adds a submitted line, forgetting the oldest beyond kMaxLines, and ends any walk.
  // An empty line, or one equal to the newest, is not added.
  void Remember(const std::wstring& line);
  // Older: the line before the one shown (shown is the box's text, kept aside when the walk
  // starts from the line being typed). False at the oldest line, with nothing changed.
  bool Older(const std::wstring& shown, std::wstring* recalled);
  // Newer: the line after the one shown, the line being typed after the newest. False when no
  // walk is under way.
  bool Newer(std::wstring* recalled);

 private:
  std::vector<std::wstring> lines;  // oldest first
  size_t index = 0;                 // of the line shown; == lines.size() for the line being typed
  std::wstring draft;               // the line being typed, kept during a walk
};

}  // namespace mimoza
