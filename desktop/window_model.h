// desktop/window_model.h: what the desktop window shows, without the toolkit: the engine's host
// operations of one turn -> a report; reports -> transcript rows and notices; the checker's
// diagnostics -> list rows; the history file's lines -> what Up and Down bring back; earlier
// sessions' turns <-> the transcript store.
// Leaves this file: HostEventKind, HostEvent, TurnReport, ChatSession, RowKind, TranscriptRow,
// TranscriptModel, StoredTurn, HistoryWalk, DiagnosticRow, SeverityText, DiagnosticRowFor, and the
// window's own words (UnwritableNotice, UnreadableMessage, NoDataDirectoryMessage, HistoryNotice).
// Tested by tests/desktop/window_model_test.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "conversation/conversation.h"
#include "conversation/turn_record.h"
#include "knowledge/dictionary_check.h"
#include "terminal/common/transcript_store.h"

namespace mimoza {

// One host operation the engine called during a job, its texts already UTF-8.
enum HostEventKind : int8_t {
  EventTitle = 0,    // SetTitle: text
  EventResponse,     // SetResponseLine: text (empty: the response was cleared)
  EventInput,        // SetInputText: text (the engine only clears the input: empty)
  EventInfoBox,      // ShowInfoBox: caption and text
  EventStoreFailed,  // StoreFailed: text says why the pair was not stored
};

struct HostEvent {
  HostEventKind kind = EventResponse;
  std::string text;
  std::string caption;  // EventInfoBox only
};

// What one job on the chat session did, in the order the engine did it.
struct TurnReport {
  std::vector<HostEvent> events;
  ConversationState state = Idle;  // the dialogue's state after the job
  bool abandoned = false;          // the turn was abandoned (AbandonTurn): no event, no change
  std::string drawn;               // UTF-8: the engine's last response after the job (what a
                                   // cleared row stands for in the transcript store)
};

struct EditInProgress;  // core_seams.h

// ChatSession: the engine and its host for the desktop window, used from the worker thread only.
// The host records what the engine does into the report of the running job; the window applies
// the report on its own thread. The working directory is the data directory.
class ChatSession final : private ConversationHost {
 public:
  ChatSession();
  ChatSession(const ChatSession&) = delete;
  ChatSession& operator=(const ChatSession&) = delete;
  ~ChatSession();

  // Open: fetches the title; once, before any line.
  TurnReport Open();
  // Submit: one turn for a line as typed (UTF-8), with Ctrl held or not. The line is converted
  // and cut to what the engine takes; one that leaves nothing runs no turn.
  TurnReport Submit(std::string_view utf8, bool ctrl);
  // Why: the last turn's record as the why panel shows it; empty before the first turn.
  std::string Why() const;
  // Check: the checker's diagnostics of both data files as list rows; *complete is false when
  // memory ran out before the end.
  std::vector<struct DiagnosticRow> Check(bool* complete) const;

  Conversation& Engine() { return conversation; }
  const TurnRecorder& LastTurn() const { return lastTurn; }
  // LastTurnStale: Dictionary.txt was replaced since the last turn (forget, restore, edit), so
  // what it showed may no longer stand where it was found, and F4 must not take what stands
  // there now; the next turn clears it.
  bool LastTurnStale() const { return stale; }
  void MarkLastTurnStale() { stale = true; }
  // Edit: the edit round trip in progress (core_seams.h), null when none.
  std::unique_ptr<EditInProgress>& Edit() { return edit; }

 private:
  void SetTitle(const char* text) override;
  void SetResponseLine(const char* text) override;
  void SetInputText(const char* text) override;
  bool IsControlKeyDown() override { return controlDown; }
  void ShowInfoBox(const char* caption, const char* text) override;
  void StoreFailed(int error) override;
  void Record(HostEventKind kind, const char* text, const char* caption = nullptr);

  Conversation conversation;
  TurnRecorder lastTurn;         // how the last turn ran, for the why panel
  TurnReport* report = nullptr;  // the running job's, while it runs
  bool controlDown = false;      // the Ctrl flag of the line being submitted
  bool stale = false;            // see LastTurnStale
  std::unique_ptr<EditInProgress> edit;
};

// Each kind has its own look in the transcript.
enum RowKind : int8_t {
  RowUser = 0,  // a line the user sent; it starts a turn
  RowResponse,  // a response the engine set
  RowCleared,   // the engine cleared the response: shown as a faint mark
  RowNotice,    // something the window itself says (a store failure, a file it cannot use)
  RowDivider,   // below earlier sessions' turns: when the last of them was
};

struct TranscriptRow {
  RowKind kind = RowNotice;
  int64_t turn = 0;      // user lines so far, its own included; 0 before the first
  bool ctrl = false;     // RowUser: sent with Ctrl held
  bool earlier = false;  // a turn of an earlier session, from the transcript store
  std::string text;      // UTF-8, without a final line end
};

// TranscriptModel: the rows of the session so far, oldest first, bounded by turns. Rows are
// numbered from the first ever added, so a view that shows rows [from, to) can tell which it
// must drop (below FirstRow) and which it must add (from its to up to EndRow).
class TranscriptModel {
 public:
  // Turns kept, as many as the terminal keeps: responses hold at most a line's bytes, so this
  // bounds the transcript to a few megabytes.
  static constexpr int64_t kMaxTurns = 1000;

  // AddUserLine: starts a turn with the line sent; the oldest turn goes past kMaxTurns.
  void AddUserLine(std::string text, bool ctrl);
  // AddReport: the rows of what a job did: responses, cleared responses and store failures.
  // Title, input and box events have no row. Returns the title event's text when there is one.
  std::string AddReport(const TurnReport& report);
  void AddNotice(std::string text);
  // AddEarlier: earlier sessions' turns (the transcript store's entries, oldest first) and a
  // divider with the time of the last; nothing when there are none.
  void AddEarlier(const std::vector<StoredEntry>& entries);

  int64_t FirstRow() const { return first; }
  int64_t EndRow() const { return first + static_cast<int64_t>(rows.size()); }
  const TranscriptRow& Row(int64_t number) const {
    return rows[static_cast<size_t>(number - first)];
  }

 private:
  void Add(TranscriptRow row);
  std::deque<TranscriptRow> rows;
  int64_t first = 0;  // the number of rows[0]
  int64_t turns = 0;
};

// StoredTurn: what the transcript store keeps of a turn: the line sent and the responses of its
// report (a cleared one as what the turn drew), all at time now. Notices are not kept.
std::vector<StoredEntry> StoredTurn(const std::string& line, const TurnReport& report, int64_t now);

// HistoryWalk: Up and Down over the lines sent, earlier sessions' first; the line being typed is
// kept while walking and comes back below the newest.
class HistoryWalk {
 public:
  // Remember: adds a line sent; an empty one, or one equal to the newest, is not added (false),
  // as the terminal's line editor does, and then not saved either. The oldest goes past
  // kMaxHistoryLines lines. Ends the walk.
  bool Remember(std::string line);
  // Older / Newer: the line to show after Up / Down from current (the input's text); false when
  // there is none further that way.
  bool Older(const std::string& current, std::string* line);
  bool Newer(const std::string& current, std::string* line);
  size_t Size() const { return lines.size(); }

 private:
  std::deque<std::string> lines;
  size_t at = 0;      // lines.size() while not walking
  std::string draft;  // what was typed before the walk began
};

// One diagnostic of the checker as the check window lists it.
struct DiagnosticRow {
  CheckSeverity severity = CheckNote;
  std::string severityText;  // "エラー", "警告", "注記"
  std::string place;         // "Dictionary.txt:3:1", or the file name alone for the whole file
  std::string message;       // UTF-8
};

// SeverityText: "エラー", "警告" or "注記", as the rows name a severity.
std::string SeverityText(CheckSeverity severity);
DiagnosticRow DiagnosticRowFor(const CheckDiagnostic& diagnostic);

// The window's own notices. UnwritableNotice: Dictionary.txt of dir cannot be written (error is
// the system's number): Mimoza answers but cannot learn.
std::string UnwritableNotice(const std::string& dir, int error);
// UnreadableMessage: Dictionary.txt of dir is there but cannot be read (EINVAL: not a regular
// file); the window does not open.
std::string UnreadableMessage(const std::string& dir, int error);
// NoDataDirectoryMessage: the data directory dir cannot be made or entered (the reason went to
// standard error); the window does not open.
std::string NoDataDirectoryMessage(const std::string& dir);
// HistoryNotice: the history file could not be read (loading) or written, with the reason.
std::string HistoryNotice(bool loading, const std::string& reason);

}  // namespace mimoza
