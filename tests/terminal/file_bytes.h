// tests/terminal/file_bytes.h: a file's bytes read and written whole, for the tests that set up a
// data directory and look at what the program left in it.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace mimoza {

// ReadFile: every byte of the file at path; empty when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// WriteFile: the file at path holds bytes and nothing else.
inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace mimoza
