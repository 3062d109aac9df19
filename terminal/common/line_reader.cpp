// terminal/common/line_reader.cpp: an input stream -> one line, cut to a megabyte.
// Leaves this file: ReadLine. Tested through the program by tests/terminal/program_test.cpp.
#include "terminal/common/line_reader.h"

namespace mimoza {
namespace {

// Input lines are kept up to this many bytes and the rest of the line is read and dropped. A
// submission keeps at most kMaxLineBytes code page 932 bytes, and no character or JSON escape takes
// more than 12 input bytes per byte kept, so a megabyte never cuts into what is submitted; it only
// bounds the memory a line without end can take.
constexpr size_t kMaxInputLineBytes = size_t{1} << 20;

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
