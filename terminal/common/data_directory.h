// terminal/common/data_directory.h: where Mimoza's files live on POSIX (the XDG folders, --dir),
// and whether the data directory's Dictionary.txt can be read and written. Every command and face
// of the terminal program, and the desktop window, use these rules.
// Leaves this file: XdgPath, DefaultDataDirectory, DataDirectoryOr, EnterDataDirectory,
// WorkingDirectory, DictionaryAccess, ProbeDictionary, AccessProblem, ReportUnreadableDictionary.
// Tested through the program by tests/terminal/program_test.cpp.
#pragma once

#include <string>
#include <string_view>

#include "conversation/messages.h"

namespace mimoza {

// XdgPath: $variable/mimoza/name when the variable holds an absolute path (a relative one is to
// be ignored), else $HOME/homeFallback/mimoza/name; empty when neither is known. An empty name
// gives the folder itself.
std::string XdgPath(const char* variable, const char* homeFallback, const char* name);

// DefaultDataDirectory: the data directory without --dir: $XDG_DATA_HOME/mimoza, else
// ~/.local/share/mimoza.
std::string DefaultDataDirectory();

// DataDirectoryOr: the directory --dir gave, or the default one when it gave none.
std::string DataDirectoryOr(std::string_view given);

// EnterDataDirectory: makes dir the working directory, creating it (with its parents) first when
// create is set. False, after a message on stderr naming program, when it cannot, or when dir is
// empty (no HOME and no --dir).
bool EnterDataDirectory(const char* program, const std::string& dir, bool create);

// WorkingDirectory: the working directory (the data directory, once entered), for the paths a
// face names; "." when it cannot be told.
std::string WorkingDirectory();

// What can be done with Dictionary.txt of the data directory.
struct DictionaryAccess {
  bool present = false;  // it is there; a missing one is made on first use
  int readError = 0;     // why it cannot be read (EINVAL: not a regular file); 0 when it can
  int writeError = 0;    // why it cannot be opened for appending (asked for learning only)
};

// ProbeDictionary: asks whether Dictionary.txt of the working directory can be read and, for
// learning, opened for appending, without reading it and without waiting on a FIFO. Asked for
// learning, it makes a missing file that can be made (empty), as the first lookup would.
DictionaryAccess ProbeDictionary(bool forLearning = false);

// AccessProblem: the words for an error number of the probe, or of a read of the file: "not a
// regular file" in language for EINVAL, else the system's.
std::string AccessProblem(Language language, int error);

// ReportUnreadableDictionary: "PROGRAM: cannot read DIR/Dictionary.txt: why" on stderr, in the
// terminal's language.
void ReportUnreadableDictionary(const char* program, const std::string& dir, int error);

}  // namespace mimoza
