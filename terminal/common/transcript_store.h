// terminal/common/transcript_store.h: the turns of earlier sessions <-> one transcript file per data
// directory, kept in the state directory beside the history, so a new session (in a terminal,
// or any face that has no screen of its own in common with it) can show where the last one
// ended. The last kMaxStoredTurns turns are kept.
// Leaves this file: kMaxStoredTurns, StoredKind, StoredEntry, TranscriptPath, ParseTranscript,
// LoadTranscript, AppendTurn, StoredTimeText.
// Tested by tests/terminal/interactive_test.cpp; the reader is fuzzed by
// fuzz/history_fuzz.cpp.
//
// The file is UTF-8, one record a line, each field apart by a tab:
//   mimoza-transcript <TAB> 1 <TAB> the data directory's real path    (the first line)
//   L <TAB> time <TAB> text     the user's line; it starts a turn
//   R <TAB> time <TAB> text     a response of that turn
//   C <TAB> time <TAB> text     a response that was cleared; text is what the turn drew
// time is seconds since 1970 (UTC); in texts and the path, "\\", "\n", "\r" and "\t" stand for a
// backslash, a line feed, a carriage return and a tab. Lines of any other form are passed over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "knowledge/limits.h"

namespace mimoza {


enum StoredKind : int8_t {
  StoredLine = 0,  // the user's line: it starts a turn
  StoredResponse,  // a response the turn showed
  StoredCleared,   // a response cleared by the engine; text is what the turn drew
};

struct StoredEntry {
  StoredKind kind = StoredLine;
  int64_t time = 0;  // seconds since 1970, UTC
  std::string text;  // valid UTF-8; may hold line breaks
};

// TranscriptPath: the transcript file of the data directory dir:
// $XDG_STATE_HOME/mimoza/transcripts/ (else ~/.local/state/mimoza/transcripts/) and a hash of
// dir's real path, so every way of naming the directory finds the same file. *realDir gets that
// path. Empty when dir cannot be resolved or no state directory is known.
std::string TranscriptPath(const std::string& dir, std::string* realDir);

// ParseTranscript: the records of a transcript file's bytes: complete lines only, records before
// the first user line passed over, the newest kMaxStoredTurns turns, oldest first, texts made
// valid UTF-8. The first line is not checked here (see LoadTranscript).
std::vector<StoredEntry> ParseTranscript(std::string_view bytes);

// LoadTranscript: the entries of the transcript file at path, as ParseTranscript gives them.
// A missing file is an empty transcript. A file whose first line does not name realDir holds
// nothing of this directory: it loads empty and is started afresh. The file is trimmed to what
// was loaded when it holds more, or lines that are no records, if it can be written. Returns
// false, with the reason in *error, when the file is there but cannot be read.
bool LoadTranscript(const std::string& path, const std::string& realDir,
                    std::vector<StoredEntry>* entries, std::string* error);

// AppendTurn: appends one turn's entries (its user line first) in one write, creating the file
// (mode 0600, in folders of the owner's alone) when missing. Two sessions appending at once keep
// each other's turns whole. Returns false, with the reason in *error and the file as it was,
// when that fails.
bool AppendTurn(const std::string& path, const std::string& realDir,
                const std::vector<StoredEntry>& turn, std::string* error);

// StoredTimeText: an entry's time as the local date and time under which earlier turns are
// shown ("2026-01-31 18:05"), "?" when it cannot be told.
std::string StoredTimeText(int64_t seconds);

}  // namespace mimoza
