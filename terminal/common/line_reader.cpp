// terminal/common/line_reader.cpp: an input stream -> one line, cut to a megabyte.
// Leaves this file: ReadLine. Tested through the program by tests/terminal/program_test.cpp.
#include "terminal/common/line_reader.h"

#include "knowledge/limits.h"

namespace mimoza {
namespace {

// Input lines are kept up to this many bytes and the rest of the line is read and dropped
// (knowledge/limits.h says why).
constexpr size_t kMaxInputLineBytes = kMaxStreamLineBytes;

}  // namespace

LineResult ReadLine(std::FILE* in, std::string& line) {
  line.clear();
  bool cut = false;
  int c = 0;
  while ((c = std::getc(in)) != EOF && c != '\n') {
    if (line.size() < kMaxInputLineBytes) {
      line.push_back(static_cast<char>(c));
    } else {
      cut = true;
    }
  }
  if (c == EOF) {
    if (std::ferror(in)) return LineFailed;
    if (line.empty() && !cut) return LineEnd;
  }
  return cut ? LineTooLong : LineRead;
}

}  // namespace mimoza
