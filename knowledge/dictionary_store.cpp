// knowledge/dictionary_store.cpp: new content for Dictionary.txt -> the file replaced safely, with
// a backup; the backups folder -> its list; a backup -> a restore plan -> the file replaced.
// Leaves this file: DictionarySnapshot::Of, ReadCurrentDictionary, DictionaryLock::Take, SeedLock,
// ReplaceDictionary, IsBackupName, ListBackups, PlanRestore, ApplyRestore. The backup names,
// the rotation and the comparison of entries are private.
// Tested by tests/knowledge/dictionary_store_test.cpp.
#include "knowledge/dictionary_store.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <unordered_map>

#include "knowledge/dictionary_format.h"
#include "knowledge/knowledge_internal.h"
#include "knowledge/text_file.h"

namespace mimoza {
namespace {

// Beside the dictionary while a process other than learning changes it.
constexpr char kLockFile[] = "Dictionary.txt.lock";
// Held for a moment while a default is seeded, and how long a second session waits for it: a
// seed is one lookup and one append, milliseconds even on a large file.
constexpr char kSeedLockFile[] = "Dictionary.txt.seed-lock";
constexpr int kSeedWaitMilliseconds = 2000;
// The stem of the new file made beside the dictionary before it is renamed over it.
constexpr char kNewFileStem[] = "Dictionary.txt.new";
// Files are hashed, compared and copied in blocks this large: few calls, little memory.
constexpr size_t kBlockBytes = size_t{1} << 20;
constexpr uint64_t kSnapshotSeed = 0x6D696D6F7A61;  // any constant: both sides use the same

// Backup names: kBackupStem, YYYYMMDD-HHMMSS-NNN, then kRestoreMark for a restore's, kBackupEnd.
constexpr std::string_view kBackupStem = "Dictionary-";
constexpr std::string_view kRestoreMark = "-restore";
constexpr std::string_view kBackupEnd = ".txt";
constexpr std::string_view kStampShape = "DDDDDDDD-DDDDDD-DDD";  // D: a digit
// Backups made within one second are numbered from 000 up to this.
constexpr int kMaxBackupsPerSecond = 999;

StoreResult Failed(StoreStage stage, int error) {
  StoreResult result;
  result.status = StoreFailed;
  result.stage = stage;
  result.error = error != 0 ? error : EIO;
  return result;
}

// Folder: the folder part of a path ("." for a plain name).
std::string Folder(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

std::string BackupPath(const std::string& name) { return std::string(kBackupFolder) + "/" + name; }

// Stamp: the part of a backup name that orders it: YYYYMMDD-HHMMSS-NNN.
std::string_view Stamp(std::string_view name) {
  return name.substr(kBackupStem.size(), kStampShape.size());
}

int Digits(std::string_view text) {
  int value = 0;
  for (const char c : text) value = value * 10 + (c - '0');
  return value;
}

// ReadBlocks: the bytes [from, to) of an open file, a block at a time, to each(bytes, count);
// false, with errno, when reading fails or the file is shorter.
template <typename Each>
bool ReadBlocks(RawFile& file, uint64_t from, uint64_t to, Each each) {
  std::unique_ptr<char[]> block(new (std::nothrow) char[kBlockBytes]);
  if (block == nullptr) {
    errno = ENOMEM;
    return false;
  }
  for (uint64_t at = from; at < to;) {
    const auto want = static_cast<size_t>(std::min<uint64_t>(to - at, kBlockBytes));
    const int64_t got = file.ReadAt(at, block.get(), want);
    if (got <= 0) {
      if (got == 0) errno = EIO;  // shorter than it was
      return false;
    }
    if (!each(block.get(), static_cast<size_t>(got))) return false;
    at += static_cast<uint64_t>(got);
  }
  return true;
}

// MakeBackup: a copy of the first size bytes of current in backups/, with mode and, where this
// process may, the dictionary's owner. *name gets its name.
StoreResult MakeBackup(RawFile& current, uint64_t size, const FileFacts& facts, bool byRestore,
                       std::string* name) {
  if (const int error = MakeFolder(kBackupFolder)) return Failed(StageBackups, error);
  GiveFolder(kBackupFolder, facts);
  std::vector<std::string> names;
  if (const int error = ListFolder(kBackupFolder, &names)) return Failed(StageBackups, error);
  const LocalTime now = NowLocal();
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04d%02d%02d-%02d%02d%02d-", now.year % 10000, now.month,
                now.day, now.hour, now.minute, now.second);
  // The next number of this second, after every backup of either kind made in it.
  int number = 0;
  for (const std::string& other : names) {
    if (IsBackupName(other) && Stamp(other).substr(0, 16) == stamp) {
      number = std::max(number, Digits(Stamp(other).substr(16)) + 1);
    }
  }
  NewFile backup;
  for (;; ++number) {
    if (number > kMaxBackupsPerSecond) return Failed(StageBackup, EEXIST);
    char counter[16];
    std::snprintf(counter, sizeof counter, "%03d", number);
    *name = std::string(kBackupStem) + stamp + counter +
            (byRestore ? std::string(kRestoreMark) : std::string()) + std::string(kBackupEnd);
    const int error = backup.CreateExclusive(BackupPath(*name), facts.mode);
    if (error == 0) break;
    if (error != EEXIST) return Failed(StageBackup, error);
  }
  bool ownerKept = false;
  bool groupKept = false;
  static_cast<void>(backup.KeepOwner(facts, &ownerKept, &groupKept));  // only where allowed
  int error = 0;
  const bool read = ReadBlocks(current, 0, size, [&](const char* bytes, size_t count) {
    error = backup.Write(bytes, count);
    return error == 0;
  });
  if (!read && error == 0) return Failed(StageRead, errno);
  if (error != 0) return Failed(StageBackup, error);
  if ((error = backup.Finish()) != 0) return Failed(StageBackup, error);
  backup.Keep();
  return StoreResult{};
}

// RotateBackups: removes all but the newest kKept backups. A backup that cannot be removed stays.
void RotateBackups() {
  std::vector<BackupInfo> backups;
  if (ListBackups(&backups, false).status != StoreDone) return;
  for (size_t i = kKeptBackups; i < backups.size(); ++i) {
    static_cast<void>(RemoveFile(BackupPath(backups[i].name)));
  }
}

// Matches: whether current holds the bytes read at its start; then *tail gets the rest.
StoreResult Compare(RawFile& current, const DictionarySnapshot& read, std::string* tail) {
  StoreResult changed;
  changed.status = StoreChanged;
  if (current.Size() < read.size) return changed;
  uint64_t hash = kSnapshotSeed;
  if (!ReadBlocks(current, 0, read.size, [&](const char* bytes, size_t count) {
        hash = HashBytes(bytes, count, hash);
        return true;
      })) {
    return Failed(StageRead, errno);
  }
  if (hash != read.hash) return changed;
  try {
    tail->resize(static_cast<size_t>(current.Size() - read.size));
  } catch (const std::exception&) {
    return Failed(StageMemory, ENOMEM);
  }
  const int64_t got = current.ReadAt(read.size, tail->data(), tail->size());
  if (got < 0) return Failed(StageRead, errno);
  tail->resize(static_cast<size_t>(got));
  return StoreResult{};
}

// Pairs: each answer of a dictionary's entries with its key, as the elements place them; the
// walk of an entry's own answers is what a reader of the file sees as that entry.
struct Pair {
  PlacedText key;
  PlacedText answer;
};
bool Pairs(const std::string& stored, std::vector<Pair>* pairs) {
  const StoredText text(stored);
  DictionaryElements elements;
  if (!elements.Read(text.Text(), text.Length()) || !elements.Walk()) return false;
  for (size_t i = 0; i < elements.Answers().size(); ++i) {
    Pair pair;
    const size_t owner = elements.OwnerOf(i);
    if (owner != kNoOffset) {
      const KeyElement& key = elements.Keys()[elements.Walks()[owner].key];
      pair.key = PlacedText{text.FoldedLine(key.open), std::string(elements.KeyText(key))};
    }
    const AnswerElement& answer = elements.Answers()[i];
    pair.answer =
        PlacedText{text.FoldedLine(answer.open), std::string(elements.AnswerText(answer))};
    pairs->push_back(std::move(pair));
  }
  return true;
}

std::string PairKey(const Pair& pair) { return pair.key.text + '\0' + pair.answer.text; }

// Lost: the pairs of now that then lacks (each as often as now has it more often).
bool Lost(const std::string& now, const std::string& then,
          std::vector<std::pair<PlacedText, PlacedText>>* lost) {
  std::vector<Pair> nowPairs;
  std::vector<Pair> thenPairs;
  if (!Pairs(now, &nowPairs) || !Pairs(then, &thenPairs)) return false;
  std::unordered_map<std::string, size_t> kept;
  for (const Pair& pair : thenPairs) ++kept[PairKey(pair)];
  for (Pair& pair : nowPairs) {
    size_t& left = kept[PairKey(pair)];
    if (left > 0) {
      --left;
    } else {
      lost->emplace_back(std::move(pair.key), std::move(pair.answer));
    }
  }
  return true;
}

}  // namespace

// ---- Reading and locking ------------------------------------------------------------------------

DictionarySnapshot DictionarySnapshot::Of(std::string_view bytes, bool present) {
  DictionarySnapshot snapshot;
  snapshot.present = present;
  snapshot.size = bytes.size();
  snapshot.hash = kSnapshotSeed;
  for (size_t at = 0; at < bytes.size(); at += kBlockBytes) {
    const size_t count = std::min(kBlockBytes, bytes.size() - at);
    snapshot.hash = HashBytes(bytes.data() + at, count, snapshot.hash);
  }
  return snapshot;
}

CurrentDictionary ReadCurrentDictionary() {
  CurrentDictionary current;
  StoredFile file = ReadStoredFile(kDictionaryFile);
  if (file.error != 0) {
    current.result = Failed(file.error == ENOMEM ? StageMemory : StageRead, file.error);
    return current;
  }
  current.bytes = std::move(file.bytes);
  current.snapshot = DictionarySnapshot::Of(current.bytes, file.present);
  return current;
}

StoreResult DictionaryLock::Take() {
  StoreResult result;
  const int error = lock.Take(kLockFile, 0, &result.holder);
  if (error == EWOULDBLOCK) {
    result.status = StoreBusy;
  } else if (error != 0) {
    result = Failed(StageLock, error);
  }
  return result;
}

SeedLock::SeedLock() {
  std::string holder;
  static_cast<void>(lock.Take(kSeedLockFile, kSeedWaitMilliseconds, &holder));
}

// ---- The safe replace ---------------------------------------------------------------------------

StoreResult ReplaceDictionary(const DictionaryLock& lock, const DictionarySnapshot& read,
                              std::string_view content, const ReplaceOptions& options) {
  if (!lock.Held()) return Failed(StageLock, EINVAL);
  std::string target;
  if (const int error = ResolveLinks(kDictionaryFile, &target)) return Failed(StageRead, error);
  FileFacts facts;
  if (const int error = StatFile(target, &facts)) return Failed(StageRead, error);
  if (read.present && !facts.present) {
    StoreResult changed;
    changed.status = StoreChanged;
    return changed;
  }

  // The file now: the bytes read, and what was appended since.
  auto current = std::make_unique<RawFile>();
  std::string tail;
  uint64_t size = 0;
  if (facts.present) {
    if (!current->Open(target.c_str())) return Failed(StageRead, errno);
    StoreResult compared = Compare(*current, read, &tail);
    if (compared.status != StoreDone) return compared;
    size = read.size + tail.size();
  }

  NewFile fresh;
  if (const int error = fresh.CreateBeside(Folder(target), kNewFileStem)) {
    return Failed(StageNewFile, error);
  }
  if (facts.present) {
    StoreResult owner;
    if (fresh.KeepOwner(facts, &owner.owner.ownerKept, &owner.owner.groupKept) != 0 &&
        !options.ownerMayChange) {
      owner.status = StoreOwnerChanges;
      owner.owner.owner = facts.owner;
      owner.owner.group = facts.group;
      return owner;
    }
  }
  if (const int error = fresh.SetMode(facts.present ? facts.mode : NewFileMode())) {
    return Failed(StageNewFile, error);
  }

  StoreResult result;
  if (facts.present) {
    StoreResult backedUp =
        MakeBackup(*current, size, facts, options.madeByRestore, &result.backup);
    if (backedUp.status != StoreDone) return backedUp;
    result.backup = BackupPath(result.backup);
  }
  // From here on a failure takes the backup back: nothing was replaced.
  const auto fail = [&](StoreStage stage, int error) {
    if (!result.backup.empty()) static_cast<void>(RemoveFile(result.backup));
    return Failed(stage, error);
  };
  int error = fresh.Write(content.data(), content.size());
  if (error == 0 && !tail.empty()) {
    // What was learned meanwhile goes on a line of its own.
    if (!content.empty() && content.back() != '\n') error = fresh.Write("\r\n", 2);
    if (error == 0) error = fresh.Write(tail.data(), tail.size());
  }
  if (error != 0) return fail(StageWrite, error);
  if ((error = fresh.Finish()) != 0) return fail(StageFlush, error);
  current.reset();  // Windows cannot replace a file this process still has open
  uint64_t late = 0;
  if ((error = ReplaceFileWith(fresh.Path(), target, size, &late)) != 0) {
    return fail(StageRename, error);
  }
  fresh.Keep();
  result.carried = tail.size() + late;
  RotateBackups();
  return result;
}

// ---- Backups ------------------------------------------------------------------------------------

bool IsBackupName(std::string_view name) {
  if (name.substr(0, kBackupStem.size()) != kBackupStem) return false;
  std::string_view rest = name.substr(kBackupStem.size());
  if (rest.size() < kStampShape.size()) return false;
  for (size_t i = 0; i < kStampShape.size(); ++i) {
    const bool digit = rest[i] >= '0' && rest[i] <= '9';
    if (kStampShape[i] == 'D' ? !digit : rest[i] != kStampShape[i]) return false;
  }
  rest.remove_prefix(kStampShape.size());
  if (rest.substr(0, kRestoreMark.size()) == kRestoreMark) rest.remove_prefix(kRestoreMark.size());
  return rest == kBackupEnd;
}

StoreResult ListBackups(std::vector<BackupInfo>* backups, bool countEntries) {
  backups->clear();
  std::vector<std::string> names;
  if (const int error = ListFolder(kBackupFolder, &names)) {
    return error == ENOENT ? StoreResult{} : Failed(StageRead, error);
  }
  for (const std::string& name : names) {
    if (!IsBackupName(name)) continue;
    BackupInfo info;
    info.name = name;
    const std::string_view stamp = Stamp(name);
    info.when = LocalTime{Digits(stamp.substr(0, 4)),  Digits(stamp.substr(4, 2)),
                          Digits(stamp.substr(6, 2)),  Digits(stamp.substr(9, 2)),
                          Digits(stamp.substr(11, 2)), Digits(stamp.substr(13, 2))};
    info.madeByRestore = name.find(kRestoreMark) != std::string::npos;
    FileFacts facts;
    if (StatFile(BackupPath(name), &facts) == 0) info.bytes = facts.size;
    if (countEntries) {
      const StoredFile file = ReadStoredFile(BackupPath(name).c_str());
      if (file.present && file.error == 0) {
        info.entries = static_cast<int64_t>(CountEntries(file.bytes));
      }
    }
    backups->push_back(std::move(info));
  }
  std::sort(backups->begin(), backups->end(),
            [](const BackupInfo& a, const BackupInfo& b) { return Stamp(a.name) > Stamp(b.name); });
  return StoreResult{};
}

// ---- Restore ------------------------------------------------------------------------------------

RestorePlan PlanRestore(std::string_view name) {
  RestorePlan plan;
  if (name.empty()) {
    std::vector<BackupInfo> backups;
    plan.result = ListBackups(&backups, false);
    if (plan.result.status != StoreDone) return plan;
    for (const BackupInfo& backup : backups) {
      if (!backup.madeByRestore) {
        plan.name = backup.name;
        break;
      }
    }
    if (plan.name.empty()) {
      plan.result = Failed(StageRead, ENOENT);
      return plan;
    }
  } else if (!IsBackupName(name)) {
    plan.notOurs = true;
    plan.result = Failed(StageRead, ENOENT);
    return plan;
  } else {
    plan.name = std::string(name);
  }
  StoredFile backup = ReadStoredFile(BackupPath(plan.name).c_str());
  if (!backup.present || backup.error != 0) {
    plan.result = Failed(backup.error == ENOMEM ? StageMemory : StageRead,
                         backup.present ? backup.error : ENOENT);
    return plan;
  }
  CurrentDictionary current = ReadCurrentDictionary();
  if (current.result.status != StoreDone) {
    plan.result = current.result;
    return plan;
  }
  plan.snapshot = current.snapshot;
  plan.same = current.snapshot.present && current.bytes == backup.bytes;
  try {
    if (!Lost(current.bytes, backup.bytes, &plan.lost)) plan.result = Failed(StageMemory, ENOMEM);
  } catch (const std::exception&) {
    plan.result = Failed(StageMemory, ENOMEM);
  }
  plan.content = std::move(backup.bytes);
  return plan;
}

StoreResult ApplyRestore(const RestorePlan& plan, ReplaceOptions options) {
  if (plan.result.status != StoreDone) return plan.result;
  DictionaryLock lock;
  StoreResult taken = lock.Take();
  if (taken.status != StoreDone) return taken;
  options.madeByRestore = true;
  return ReplaceDictionary(lock, plan.snapshot, plan.content, options);
}

}  // namespace mimoza
