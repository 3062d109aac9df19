// terminal/common/history.h: the history file <-> the lines the interactive face's Up and Down
// walk, kept across sessions: UTF-8, one line each, appended as each line is submitted, the last
// kMaxHistoryLines kept. The desktop window walks the same file.
// Leaves this file: HistoryPath, SplitHistory, LoadHistory,
// AppendHistory.
// Tested by tests/terminal/interactive_test.cpp (also through the program under a pty); the
// reader is fuzzed by fuzz/history_fuzz.cpp.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "knowledge/knowledge.h"

namespace mimoza {

// HistoryPath: $XDG_STATE_HOME/mimoza/history when that variable holds an absolute path (a
// relative one is to be ignored), else $HOME/.local/state/mimoza/history; empty when neither is
// known.
std::string HistoryPath();

// SplitHistory: the complete lines of a history file's bytes (a last line without its line end,
// left by a write that never finished, is not one), at most the newest kMaxHistoryLines,
// oldest first. The lines are as stored; the editor makes them valid lines.
std::vector<std::string> SplitHistory(std::string_view bytes);

// LoadHistory: the lines of the history file at path, as SplitHistory gives them. The file is
// trimmed to those lines when it holds more or ends in a partial line, if it can be written. A
// missing file is an empty history. Returns false, with the reason in *error, when the file is
// there but cannot be read.
bool LoadHistory(const std::string& path, std::vector<std::string>* lines, std::string* error);

// AppendHistory: appends one line (which holds no line break) and its line end in one write,
// creating the file and its folders (the owner's alone) when missing; two sessions appending at
// once keep each other's lines whole. Returns false, with the reason in *error and the file as it
// was, when that fails.
bool AppendHistory(const std::string& path, std::string_view line, std::string* error);

}  // namespace mimoza
