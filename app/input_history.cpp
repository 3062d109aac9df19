// app/input_history.cpp: the walk through the lines submitted this session.
// Leaves this file: InputHistory's operations. Tested by tests/app/chat_dialog_test.cpp.
#include "app/input_history.h"

namespace mimoza {

void InputHistory::Remember(const std::wstring& line) {
  if (!line.empty() && (lines.empty() || lines.back() != line)) {
    if (lines.size() == kMaxLines) lines.erase(lines.begin());
    lines.push_back(line);
  }
  index = lines.size();
  draft.clear();
}

bool InputHistory::Older(const std::wstring& shown, std::wstring* recalled) {
  if (index == 0) return false;
  if (index == lines.size()) draft = shown;
  --index;
  *recalled = lines[index];
  return true;
}

bool InputHistory::Newer(std::wstring* recalled) {
  if (index >= lines.size()) return false;
  ++index;
  *recalled = index == lines.size() ? draft : lines[index];
  return true;
}

}  // namespace mimoza
