// terminal/common/line_reader.h: a stream of input lines (piped text, JSON commands, the lines
// `mimoza explain` reads) -> one line at a time, within a bound.
// Leaves this file: LineResult, ReadLine. Tested through the program by
// tests/terminal/program_test.cpp.
#pragma once

#include <cstdio>
#include <string>

namespace mimoza {

enum LineResult { LineRead, LineTooLong, LineEnd, LineFailed };

// ReadLine: reads one line without its LF (a last line without LF counts). Returns LineEnd at
// the end of input, LineFailed on a read error, LineTooLong when the line was cut to a megabyte.
LineResult ReadLine(std::FILE* in, std::string& line);

}  // namespace mimoza
