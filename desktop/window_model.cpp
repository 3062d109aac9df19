// desktop/window_model.cpp: engine host operations -> turn reports -> transcript rows; history
// lines -> Up and Down; checker diagnostics -> list rows; the window's own notices.
// Leaves this file: the operations of window_model.h. Tested by
// tests/desktop/window_model_test.cpp.
#include "desktop/window_model.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include "desktop/core_seams.h"
#include "terminal/common/data_directory.h"
#include "terminal/common/encoding.h"
#include "terminal/common/history.h"
#include "terminal/common/words.h"

namespace mimoza {
namespace {

// Responses are one row each: a quip keeps its final line end in the engine, but a row is a line
// of the view already.
std::string WithoutFinalLineEnd(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

}  // namespace

ChatSession::ChatSession() : conversation(*this) { conversation.SetTurnObserver(&lastTurn); }

ChatSession::~ChatSession() = default;

TurnReport ChatSession::Open() {
  TurnReport opened;
  report = &opened;
  conversation.OpenConversation();
  report = nullptr;
  opened.state = conversation.State();
  return opened;
}

TurnReport ChatSession::Submit(std::string_view utf8, bool ctrl) {
  TurnReport turn;
  const std::string line = CutToLine(ToCp932(utf8));
  if (!line.empty()) {
    report = &turn;
    controlDown = ctrl;
    turn.abandoned = !conversation.SubmitLine(line.c_str());
    controlDown = false;
    report = nullptr;
    stale = stale && turn.abandoned;
  }
  turn.state = conversation.State();
  turn.drawn = ToUtf8(conversation.LastResponse());
  return turn;
}

std::string ChatSession::Why() const { return lastTurn.started ? WhyText(lastTurn) : ""; }

std::vector<DiagnosticRow> ChatSession::Check(bool* complete) const {
  std::vector<CheckDiagnostic> diagnostics;
  *complete = CheckDataFiles(CheckOptions{}, &diagnostics);
  std::vector<DiagnosticRow> rows;
  rows.reserve(diagnostics.size());
  for (const CheckDiagnostic& diagnostic : diagnostics)
    rows.push_back(DiagnosticRowFor(diagnostic));
  return rows;
}

void ChatSession::Record(HostEventKind kind, const char* text, const char* caption) {
  // The engine calls its host only inside the operations above; anything else has no report.
  if (report == nullptr) return;
  HostEvent event;
  event.kind = kind;
  event.text = ToUtf8(text != nullptr ? text : "");
  if (caption != nullptr) event.caption = ToUtf8(caption);
  report->events.push_back(std::move(event));
}

void ChatSession::SetTitle(const char* text) { Record(EventTitle, text); }
void ChatSession::SetResponseLine(const char* text) { Record(EventResponse, text); }
void ChatSession::SetInputText(const char* text) { Record(EventInput, text); }
void ChatSession::ShowInfoBox(const char* caption, const char* text) {
  Record(EventInfoBox, text, caption);
}
void ChatSession::StoreFailed(int error) {
  if (report == nullptr) return;
  HostEvent event;
  event.kind = EventStoreFailed;
  event.text = StoreFailureText(error);
  report->events.push_back(std::move(event));
}

void TranscriptModel::Add(TranscriptRow row) {
  row.turn = turns;
  rows.push_back(std::move(row));
}

void TranscriptModel::AddUserLine(std::string text, bool ctrl) {
  ++turns;
  TranscriptRow row;
  row.kind = RowUser;
  row.ctrl = ctrl;
  row.text = std::move(text);
  Add(std::move(row));
  // The oldest turn leaves whole, notices told before it with it.
  while (turns - rows.front().turn >= kMaxTurns) {
    const int64_t oldest = rows.front().turn;
    while (!rows.empty() && rows.front().turn == oldest) {
      rows.pop_front();
      ++first;
    }
  }
}

std::string TranscriptModel::AddReport(const TurnReport& report) {
  std::string title;
  for (const HostEvent& event : report.events) {
    TranscriptRow row;
    switch (event.kind) {
      case EventTitle:
        title = event.text;
        continue;
      case EventResponse:
        row.text = WithoutFinalLineEnd(event.text);
        row.kind = row.text.empty() ? RowCleared : RowResponse;
        break;
      case EventStoreFailed:
        row.kind = RowNotice;
        row.text = event.text;
        break;
      case EventInput:    // the window cleared the input as it sent the line
      case EventInfoBox:  // the transcript shows every response whole already
        continue;
    }
    Add(std::move(row));
  }
  return title;
}

void TranscriptModel::AddNotice(std::string text) {
  TranscriptRow row;
  row.kind = RowNotice;
  row.text = std::move(text);
  Add(std::move(row));
}

void TranscriptModel::AddEarlier(const std::vector<StoredEntry>& entries) {
  // Kinds of the store are also indexes into this table: keep it in StoredKind's order.
  static constexpr RowKind kKinds[] = {RowUser, RowResponse, RowCleared};
  for (const StoredEntry& entry : entries) {
    if (entry.kind == StoredLine) ++turns;
    TranscriptRow row;
    row.kind = kKinds[entry.kind];
    row.earlier = true;
    if (row.kind != RowCleared) row.text = entry.text;
    Add(std::move(row));
  }
  if (entries.empty()) return;
  TranscriptRow divider;
  divider.kind = RowDivider;
  divider.text = StoredTimeText(entries.back().time);
  Add(std::move(divider));
}

std::vector<StoredEntry> StoredTurn(const std::string& line, const TurnReport& report,
                                    int64_t now) {
  std::vector<StoredEntry> turn = {{StoredLine, now, line}};
  for (const HostEvent& event : report.events) {
    if (event.kind != EventResponse) continue;
    const std::string text = WithoutFinalLineEnd(event.text);
    if (text.empty()) {
      turn.push_back({StoredCleared, now, report.drawn});
    } else {
      turn.push_back({StoredResponse, now, text});
    }
  }
  return turn;
}

bool HistoryWalk::Remember(std::string line) {
  at = lines.size();
  if (line.empty() || (!lines.empty() && lines.back() == line)) return false;
  lines.push_back(std::move(line));
  if (lines.size() > kMaxHistoryLines) lines.pop_front();
  at = lines.size();
  return true;
}

bool HistoryWalk::Older(const std::string& current, std::string* line) {
  if (at == 0) return false;
  if (at == lines.size()) draft = current;
  *line = lines[--at];
  return true;
}

bool HistoryWalk::Newer(const std::string& /*current*/, std::string* line) {
  if (at >= lines.size()) return false;
  ++at;
  *line = at == lines.size() ? draft : lines[at];
  return true;
}

std::string SeverityText(CheckSeverity severity) {
  return Words(LanguageJapanese,
               static_cast<MessageId>(MsgSeverityError + static_cast<int16_t>(severity)));
}

DiagnosticRow DiagnosticRowFor(const CheckDiagnostic& diagnostic) {
  DiagnosticRow row;
  row.severity = diagnostic.severity;
  row.severityText = SeverityText(diagnostic.severity);
  row.place = diagnostic.file == CheckedQuips ? "Boke.dat" : "Dictionary.txt";
  if (diagnostic.line > 0) {
    row.place += ":" + std::to_string(diagnostic.line) + ":" + std::to_string(diagnostic.column);
  }
  row.message = DiagnosticMessage(diagnostic);
  return row;
}

std::string UnwritableNotice(const std::string& dir, int error) {
  return Words(LanguageJapanese, MsgDictionaryUnwritable, {dir, std::strerror(error)});
}

std::string UnreadableMessage(const std::string& dir, int error) {
  return Words(LanguageJapanese, MsgDictionaryUnreadable,
               {dir, AccessProblem(LanguageJapanese, error)});
}

std::string NoDataDirectoryMessage(const std::string& dir) {
  return dir.empty() ? Words(LanguageJapanese, MsgNoDataDirectory)
                     : Words(LanguageJapanese, MsgDataDirectoryUnusable, {dir});
}

std::string HistoryNotice(bool loading, const std::string& reason) {
  return Words(LanguageJapanese, loading ? MsgHistoryNotLoaded : MsgHistoryNotSaved, {reason});
}

}  // namespace mimoza
