// bench/make_dictionary.cpp: writes a generated dictionary of N entries (bench/text_maker.h) to
// standard output, or with --line N a line of N bytes, so that the program itself can be
// measured on the dictionaries the benchmarks use (bench/measure-program).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/text_maker.h"

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--line") == 0) {
    const std::string line = mimoza::bench::TextMaker(11).Line(std::strtoul(argv[2], nullptr, 10));
    std::fwrite(line.data(), 1, line.size(), stdout);
    return 0;
  }
  if (argc != 2) {
    std::fputs("usage: make_dictionary ENTRIES | make_dictionary --line BYTES\n", stderr);
    return 2;
  }
  const std::string text = mimoza::bench::TextMaker(7).Dictionary(std::atoi(argv[1]));
  std::fwrite(text.data(), 1, text.size(), stdout);
  return 0;
}
