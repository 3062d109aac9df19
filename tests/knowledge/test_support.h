// tests/knowledge/test_support.h: helpers of the knowledge tests: a fresh working directory per
// test, whole-file bytes, seeds that make the generator draw a chosen value, UTF-8 -> CP932.
#pragma once

#include <gtest/gtest.h>
#include <iconv.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "knowledge/knowledge.h"

namespace mimoza::testing {

// Each test that touches files works in its own temporary directory, made the current directory
// for the test (the knowledge files use plain names) and removed afterwards.
class InTempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    oldDir = std::filesystem::current_path();
    std::string tmpl = (std::filesystem::temp_directory_path() / "knowledge-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir = tmpl;
    std::filesystem::current_path(dir);
  }
  void TearDown() override {
    std::filesystem::current_path(oldDir);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }

 private:
  std::filesystem::path oldDir;
  std::filesystem::path dir;
};

inline void WriteBytes(const char* name, const std::string& bytes) {
  std::ofstream(name, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::string ReadBytes(const char* name) {
  std::string bytes;
  if (std::FILE* f = std::fopen(name, "rb")) {
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) bytes.append(chunk, n);
    std::fclose(f);
  }
  return bytes;
}

// SeedDrawing: a seed after which the generator's next draw is r (0 to 32767).
inline uint32_t SeedDrawing(int32_t r) {
  uint32_t inverse = 214013u;  // Newton's iteration for the inverse of the odd multiplier mod 2^32
  for (int i = 0; i < 5; ++i) inverse *= 2u - 214013u * inverse;
  const uint32_t wanted = static_cast<uint32_t>(r) << 16;
  return (wanted - 2531011u) * inverse;
}

// Cp932: the code page 932 bytes of a UTF-8 text.
inline std::string Cp932(const std::string& utf8) {
  iconv_t cd = iconv_open("CP932", "UTF-8");
  std::string in = utf8;
  std::string out(in.size() * 2 + 4, '\0');
  char* inPtr = in.data();
  char* outPtr = out.data();
  size_t inLeft = in.size();
  size_t outLeft = out.size();
  const size_t done = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  EXPECT_NE(done, static_cast<size_t>(-1)) << utf8;
  out.resize(out.size() - outLeft);
  return out;
}

}  // namespace mimoza::testing
