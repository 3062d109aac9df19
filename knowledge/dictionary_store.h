// knowledge/dictionary_store.h: replacing Dictionary.txt safely, its backups, forget and restore:
// the operations every face calls to change the file other than by learning. All work on the
// working directory (the data directory), as the rest of the core does: Dictionary.txt, the
// lock Dictionary.txt.lock beside it, and the folder backups/. Texts are code page 932 bytes;
// nothing here prints, asks or throws: whatever needs the user's word comes back as a result,
// and the caller asks and calls again.
// Leaves this file: StoreStatus, StoreStage, OwnerChange, StoreResult, DictionarySnapshot,
// CurrentDictionary, ReadCurrentDictionary, DictionaryLock, SeedLock, ReplaceOptions,
// ReplaceDictionary, kBackupFolder, kKeptBackups, BackupInfo, IsBackupName, ListBackups,
// ForgetTarget, ForgetProblem, PlacedText, ForgottenEntry, ForgetPlan, PlanForget, PlanForgetLast,
// PlanForgetIn, PlanForgetLastIn, ApplyForget, RestorePlan, PlanRestore, ApplyRestore,
// CountEntries, LineHash, kNoLine, AlignLines, CheckEditedDictionary.
// Tested by tests/knowledge/dictionary_store_test.cpp (forget on the format's odd cases, backups,
// restore, the replace's refusals), tests/knowledge/edited_lines_test.cpp and, through the
// commands, tests/terminal/store_commands_test.cpp and tests/terminal/edit_test.cpp.
//
// Every replacement takes the same path: under the lock, the file now must be the bytes the
// caller read (DictionarySnapshot) with at most an appended tail (entries a running Mimoza
// learned meanwhile, which are lock-free appends): the tail goes to the end of the new content;
// any other change refuses, replacing nothing. The current file is copied into backups/ first;
// the new file is made in the folder of the file (of a symbolic link's target: the link stays),
// with its mode, owner and group, flushed, renamed over it, and the folder flushed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "knowledge/dictionary_check.h"
#include "knowledge/store_files.h"

namespace mimoza {

// ---- Results ------------------------------------------------------------------------------------

enum StoreStatus : int8_t {
  StoreDone = 0,      // it was done (or, for a plan, it can be)
  StoreBusy,          // another process holds the lock (an edit): holder names it
  StoreChanged,       // Dictionary.txt changed since it was read, other than by appends
  StoreOwnerChanges,  // the new file cannot keep the owner or group: owner says; nothing done
  StoreFailed,        // a stage failed: stage and error say which and why; nothing replaced
};

// The stages of a replacement, for the words of a failure.
enum StoreStage : int8_t {
  StageNone = 0,
  StageLock,     // taking Dictionary.txt.lock
  StageRead,     // reading Dictionary.txt (or a backup)
  StageBackups,  // making the folder backups/
  StageBackup,   // writing the backup
  StageNewFile,  // making the new file beside Dictionary.txt
  StageWrite,    // writing it (a full disk shows here)
  StageFlush,    // flushing it to the disk
  StageRename,   // renaming it over Dictionary.txt
  StageMemory,   // memory ran out
};

// Whose the file is and whose the new one would be, when they differ.
struct OwnerChange {
  uint32_t owner = 0;  // the file's user and group
  uint32_t group = 0;
  bool ownerKept = true;  // the new file can have that user
  bool groupKept = true;  // and that group
};

struct StoreResult {
  StoreStatus status = StoreDone;
  StoreStage stage = StageNone;  // StoreFailed: where
  int error = 0;                 // StoreFailed: an errno value
  std::string holder;            // StoreBusy: the holder's process id as it wrote it, or "?"
  OwnerChange owner;             // StoreOwnerChanges
  std::string backup;            // done: the backup made, "backups/NAME"; empty when there was
                                 // no file to keep
  uint64_t carried = 0;          // done: bytes appended meanwhile, kept at the new file's end
};

// ---- Reading and locking ------------------------------------------------------------------------

// What a caller read of Dictionary.txt, for the replace to find out whether it changed since.
struct DictionarySnapshot {
  bool present = false;  // false: there was no file
  uint64_t size = 0;
  uint64_t hash = 0;  // of the bytes, in blocks (not cryptographic: it tells accidents apart)
  // Of: the snapshot of bytes as read.
  static DictionarySnapshot Of(std::string_view bytes, bool present);
};

struct CurrentDictionary {
  StoreResult result;  // StoreFailed (StageRead) when it is there but cannot be read
  std::string bytes;   // as stored
  DictionarySnapshot snapshot;
};

// ReadCurrentDictionary: Dictionary.txt as stored (a missing file reads as empty, present false).
CurrentDictionary ReadCurrentDictionary();

// DictionaryLock: Dictionary.txt.lock of the working directory: one process at a time changes the
// file other than by appending. An edit holds it while the editor runs; forget and restore for
// their replacement. Released when the object goes.
class DictionaryLock {
 public:
  // Take: StoreDone when held; StoreBusy (holder) when another process holds it; StoreFailed
  // (StageLock) when the lock file cannot be made.
  StoreResult Take();
  bool Held() const { return lock.Held(); }

 private:
  FileLock lock;
};

// SeedLock: held while LookupOrSeed looks a prompt up once more and appends its default, so that
// two sessions starting on a new folder do not both write it. Not the edit's lock, which an
// editor holds for minutes: learning's appends stay lock-free. It waits a moment for another
// holder; without it (still busy, or a folder where the lock file cannot be made) the caller
// goes on as if there were no other session.
class SeedLock {
 public:
  SeedLock();
  bool Held() const { return lock.Held(); }

 private:
  FileLock lock;
};

// ---- The safe replace ---------------------------------------------------------------------------

struct ReplaceOptions {
  bool ownerMayChange = false;  // the caller asked: a new owner or group is fine
  bool madeByRestore = false;   // the backup is marked as made by a restore
};

// ReplaceDictionary: puts content in place of Dictionary.txt, which was read as read, on the
// path above; lock must be held. Returns StoreDone with the backup's name and the bytes carried;
// StoreChanged when the file changed otherwise; StoreOwnerChanges, before anything is written,
// when the owner or group cannot be kept and options do not allow that; StoreFailed (stage,
// error) otherwise, the file as it was and no backup left behind. The last kKeptBackups backups
// are kept.
StoreResult ReplaceDictionary(const DictionaryLock& lock, const DictionarySnapshot& read,
                              std::string_view content, const ReplaceOptions& options);

// ---- Backups ------------------------------------------------------------------------------------

// The folder of the backups, in the data directory, and how many are kept: enough to undo a few
// sessions of forgetting and editing, few enough that a large dictionary does not fill a disk.
inline constexpr char kBackupFolder[] = "backups";
inline constexpr size_t kKeptBackups = 10;

// One backup, named "Dictionary-YYYYMMDD-HHMMSS-NNN.txt" (local time; NNN counts backups made in
// the same second, so names are unique and sort by time) or, made by a restore,
// "Dictionary-YYYYMMDD-HHMMSS-NNN-restore.txt".
struct BackupInfo {
  std::string name;  // the file name in backups/
  LocalTime when;    // from the name
  bool madeByRestore = false;
  uint64_t bytes = 0;
  int64_t entries = -1;  // the entries it holds; -1: not counted
};

// IsBackupName: whether name is one of ours as above (so no path, no "..").
bool IsBackupName(std::string_view name);

// ListBackups: the backups, newest first; countEntries reads each to count its entries. A missing
// folder is an empty list; StoreFailed (StageRead) when it cannot be read.
StoreResult ListBackups(std::vector<BackupInfo>* backups, bool countEntries);

// ---- Forget -------------------------------------------------------------------------------------

// What to forget: the answer that starts on a line as stored (counting LFs from 1). With two
// answers on the line, column (1-based, in characters, as the checker prints places) picks the
// one whose element stands there; 0 takes the first that starts on the line.
struct ForgetTarget {
  uint32_t line = 0;
  uint32_t column = 0;
};

enum ForgetProblem : int8_t {
  ForgetFine = 0,
  ForgetPastEnd,         // the line is beyond the file (lines: the file's last line)
  ForgetKeyLine,         // the line is part of a key element (at: the key's first line)
  ForgetInsideAnswer,    // the line is inside an answer that starts earlier (at: its line)
  ForgetNoAnswer,        // no answer starts on the line (blank, or text between elements)
  ForgetNoSuchAnswer,    // no answer starting on the line stands at the column (at: how many
                         // answers start on the line)
  ForgetNothingLearned,  // forget last: no entry outside the prompts and lists
  ForgetUnreadable,      // Dictionary.txt cannot be read (result says why)
};

// A text and the line of the file it starts on.
struct PlacedText {
  uint32_t line = 0;
  std::string text;  // code page 932, as a lookup reads it
};

// One entry a plan takes answers from.
struct ForgottenEntry {
  bool hasKey = false;  // false: answers before the first key
  PlacedText key;
  bool keyGoes = false;             // no answer of its own is left: the key element goes too
  std::vector<PlacedText> answers;  // those that go, in file order
  size_t answersLeft = 0;           // answers of its own it keeps
  std::vector<PlacedText> poolers;  // other keys that pool an answer that goes (keys without
                                    // answers of their own before this entry)
};

struct ForgetPlan {
  ForgetProblem problem = ForgetFine;
  uint32_t line = 0;            // the line the problem is about
  uint32_t at = 0;              // what the problem names (see ForgetProblem)
  StoreResult result;           // ForgetUnreadable: why
  DictionarySnapshot snapshot;  // the file the plan was made on
  std::vector<ForgottenEntry> entries;
  std::string content;  // the file without them: every other byte as it was
  bool whole = false;   // forget last: the entry goes whole

  // Pooled: an answer that goes is pooled by other keys too (say which before applying).
  bool Pooled() const;
  // Answers: how many answers go.
  size_t Answers() const;
};

// PlanForget: what forgetting the answers at targets takes out of Dictionary.txt; nothing is
// changed. The first target with a problem makes the plan's problem.
ForgetPlan PlanForget(std::span<const ForgetTarget> targets);
// PlanForgetLast: the last entry of the file whose key is not a prompt's or a list's, whole.
ForgetPlan PlanForgetLast();
// The same over stored bytes in memory (for the tests; the snapshot is of those bytes).
ForgetPlan PlanForgetIn(const std::string& stored, std::span<const ForgetTarget> targets);
ForgetPlan PlanForgetLastIn(const std::string& stored);

// ApplyForget: the plan's content in place of Dictionary.txt, taking the lock for the replace.
// A file changed since the plan other than by appends is StoreChanged; see ReplaceDictionary.
StoreResult ApplyForget(const ForgetPlan& plan, const ReplaceOptions& options);

// ---- Restore ------------------------------------------------------------------------------------

struct RestorePlan {
  StoreResult result;    // StoreFailed (StageRead, ENOENT) for no such backup, or none to take
  std::string name;      // the backup that goes back
  bool notOurs = false;  // the name asked for is no backup name (a path, "..", another file)
  bool same = false;     // Dictionary.txt holds exactly the backup's bytes already
  DictionarySnapshot snapshot;  // Dictionary.txt as read for the plan
  std::string content;          // the backup's bytes
  // Entries of Dictionary.txt that the backup lacks (each answer of theirs with its key): they
  // are not carried over; the backup the restore makes keeps them.
  std::vector<std::pair<PlacedText, PlacedText>> lost;
};

// PlanRestore: the backup named (empty: the newest not made by a restore, so that a second
// restore does not undo the first) against Dictionary.txt; nothing is changed.
RestorePlan PlanRestore(std::string_view name);
// ApplyRestore: the backup in place of Dictionary.txt through ReplaceDictionary, taking the lock;
// its own backup is marked as made by a restore.
StoreResult ApplyRestore(const RestorePlan& plan, ReplaceOptions options);

// ---- What mimoza edit needs of the format -------------------------------------------------------

// CountEntries: the key elements a dictionary's stored bytes hold, complete ones only.
size_t CountEntries(std::string_view stored);

// LineHash: the hash AlignLines compares lines by (not cryptographic: the caller checks a kept
// line's text before it trusts it).
uint64_t LineHash(std::string_view line);

// No line: an edited line that keeps no written line.
inline constexpr size_t kNoLine = SIZE_MAX;

// AlignLines: an edited copy's lines against the copy as written, each line given by a hash of
// its text: for each edited line, the written line it is (in increasing order), or kNoLine for a
// line that is new or changed. A line diff: the lines both share at the start and the end, and
// between them the longest common run found within a bounded effort (kMaxDiffEdits), else each
// line matched with the next equal written line not far ahead.
std::vector<size_t> AlignLines(const std::vector<uint64_t>& written,
                               const std::vector<uint64_t>& edited);

// A dictionary larger than this is checked in pieces of about this size: the checker's tables
// take about seven times the bytes they read, so a piece costs some 120 MB at most, while a
// dictionary kept by hand is one piece and is checked whole.
inline constexpr size_t kCheckPieceBytes = size_t{16} << 20;

// CheckEditedDictionary: CheckDataTexts for an edited dictionary whatever its size: up to
// pieceBytes at once, a larger file in pieces that each begin with an entry a lookup reads as
// it reads it in the whole file, so that the checker's tables take a bounded amount of memory.
// Diagnostics keep the file's own lines; each piece reports up to the checker's limit per rule.
// What spans pieces (the same pair twice, a prompt's several entries) is not told across them;
// whether a prompt is missing is told for the whole file. The quips are checked once. False when
// memory ran out.
bool CheckEditedDictionary(const std::string& stored, const StoredFile& quips,
                           std::vector<CheckDiagnostic>* diagnostics,
                           size_t pieceBytes = kCheckPieceBytes);

}  // namespace mimoza
