// terminal/common/state_file.h: the file operations shared by the files Mimoza keeps in its state
// directory (the history, the transcripts of earlier sessions): private folders, a lock held
// while reading or writing, a bounded read of a file's end, an append of whole lines in one
// write, and a replace through a new file renamed over the old.
// Leaves this file: MakePrivateFolders, OpenLocked, ReadTail, AppendLines, ReplaceFile.
// Tested through its callers by tests/terminal/interactive_test.cpp.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

namespace mimoza {

// MakePrivateFolders: creates the folders of path (not its last part) that are missing, readable
// by the owner only. Returns false, with the reason in *error, when one cannot be made.
bool MakePrivateFolders(const std::string& path, std::string* error);

// OpenLocked: opens path (created with mode 0600 when flags ask for it; a file of ours with
// another mode gets 0600) and takes its exclusive lock, making sure that the file locked is still
// the one at path (ReplaceFile renames a new one over it). Returns -1, with errno set, when it
// cannot.
int OpenLocked(const std::string& path, int flags);

// ReadTail: the last maxBytes of the open file, from a line start. *whole tells whether that is
// the whole file. False when it cannot be read.
bool ReadTail(int fd, off_t maxBytes, std::string* bytes, bool* whole);

// AppendLines: appends text (whole lines, each ended by "\n") to the file at path in one write,
// under its lock, creating the file and its folders when missing; header (whole lines too) goes
// first when the file is empty. A line cut short by a crash elsewhere is ended first, so it
// cannot run into these. Returns false, with the reason in *error and the file as it was, when
// that fails.
bool AppendLines(const std::string& path, std::string_view text, std::string* error,
                 std::string_view header = {});

// ReplaceFile: replaces the file at path by one holding text (mode 0600), through a new file
// renamed over it, so a crash leaves either the old file or the new one. A path that is a link
// is written through: the file it names is replaced and the link stays. The new file is made
// with O_EXCL and O_NOFOLLOW, so a link planted where it goes is never followed. Best effort: a
// caller holds the lock of path meanwhile and carries on whatever happens here.
void ReplaceFile(const std::string& path, std::string_view text);

}  // namespace mimoza
