// terminal/common/data_directory.cpp: the XDG folders and --dir -> the data directory; the
// dictionary there -> whether it can be read and written.
// Leaves this file: XdgPath, DefaultDataDirectory, DataDirectoryOr, EnterDataDirectory,
// ProbeDictionary, AccessProblem, ReportUnreadableDictionary.
// Tested through the program by tests/terminal/program_test.cpp.
#include "terminal/common/data_directory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "knowledge/limits.h"
#include "terminal/common/safe_text.h"
#include "terminal/common/words.h"

namespace mimoza {
namespace {

constexpr const char* kDictionary = kDictionaryFile;

}  // namespace

std::string XdgPath(const char* variable, const char* homeFallback, const char* name) {
  const std::string tail = std::string("/mimoza") + (name[0] != '\0' ? "/" : "") + name;
  const char* base = std::getenv(variable);
  if (base != nullptr && base[0] == '/') return base + tail;
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return std::string(home) + "/" + homeFallback + tail;
  return {};
}

std::string DefaultDataDirectory() { return XdgPath("XDG_DATA_HOME", ".local/share", ""); }

std::string DataDirectoryOr(std::string_view given) {
  return given.empty() ? DefaultDataDirectory() : std::string(given);
}

std::string WorkingDirectory() {
  std::error_code failure;
  const std::filesystem::path here = std::filesystem::current_path(failure);
  return failure ? std::string(".") : here.string();
}

bool EnterDataDirectory(const char* program, const std::string& dir, bool create) {
  if (dir.empty()) {
    std::fprintf(stderr, "%s: no data directory: set HOME or XDG_DATA_HOME, or use --dir\n",
                 program);
    return false;
  }
  if (create) {
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) {
      std::fprintf(stderr, "%s: cannot create the data directory %s: %s\n", program,
                   Visible(dir).c_str(), error.message().c_str());
      return false;
    }
  }
  if (chdir(dir.c_str()) != 0) {
    std::fprintf(stderr, "%s: cannot use the data directory %s: %s\n", program,
                 Visible(dir).c_str(), std::strerror(errno));
    return false;
  }
  return true;
}

// The file is opened, not only its mode read: a permission the mode does not show (an ACL, a
// read-only mount's rules) still counts. O_NONBLOCK keeps a FIFO from waiting for a writer.
// For learning it is opened for appending as an append opens it, so whatever keeps an append
// from working (a symbolic link to nowhere, a folder that cannot take the file) is told; a
// missing file is made then, as the first lookup would make it.
DictionaryAccess ProbeDictionary(bool forLearning) {
  DictionaryAccess result;
  struct stat st {};
  result.present = stat(kDictionary, &st) == 0;
  if (result.present) {
    const int fd = open(kDictionary, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      result.readError = errno;
    } else {
      if (!S_ISREG(st.st_mode)) result.readError = EINVAL;
      close(fd);
    }
  }
  if (forLearning && result.readError == 0) {
    const int fd = open(kDictionary, O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
      result.writeError = errno;
    } else {
      close(fd);
    }
  }
  return result;
}

std::string AccessProblem(Language language, int error) {
  return error == EINVAL ? Words(language, MsgNotRegularFile) : std::strerror(error);
}

void ReportUnreadableDictionary(const char* program, const std::string& dir, int error) {
  const Language language = TerminalLanguage();
  const std::string problem =
      Words(language, MsgDictionaryUnreadable, {Visible(dir), AccessProblem(language, error)});
  std::fprintf(stderr, "%s: %s\n", program, problem.c_str());
}

}  // namespace mimoza
