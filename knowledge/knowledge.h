// knowledge/knowledge.h: the knowledge files' public interface.
// Dictionary.txt (keys and answers, appended by learning) and Boke.dat (one quip a line), both
// opened by their plain names in the working directory and read and written as text the same way
// on every platform; the process-wide random generator; the yes/no reply classifier.
// Output buffers: an operation given a limit n writes at most n bytes and a NUL (the buffer holds
// n + 1 bytes) and leaves the buffer untouched when it finds nothing.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "knowledge/limits.h"

namespace mimoza {

// How LookupAnswer tests a key against its subject. Any other value matches no key.
enum MatchMode : int8_t {
  ExactKey = 0,    // key and subject compared as whole texts
  PatternKey = 1,  // the key is a pattern searched inside the subject
};

// What ClassifyReply makes of a reply.
enum ReplyKind : int8_t {
  Neither = 0,  // neither list matches
  Yes = 1,      // the yes-list matches and the no-list does not
  No = 2,       // the no-list matches, whatever the yes-list does
};

// A reserved dictionary key and the built-in default seeded under it when it is missing.
// The texts are code page 932 bytes.
struct ReservedKey {
  const char* key;
  const char* defaultText;
};

extern const ReservedKey kTitleKey;       // "<SMES0>": the window title
extern const ReservedKey kOfferLearnKey;  // "<SMES1>": nothing found; may I learn this line?
extern const ReservedKey kAskAnswerKey;   // "<SMES2>": consent given; what should I answer?
extern const ReservedKey kLearnedKey;     // "<SMES3>": the new pair is stored
extern const ReservedKey kOfferAddKey;    // "<SMES4>": Ctrl on a known line; add an answer?
extern const ReservedKey kYesListKey;     // "<YES>": the yes-list pattern
extern const ReservedKey kNoListKey;      // "<NO>": the no-list pattern
// The default of "<NO>" before its refusals were added: files seeded then keep it, and the
// checker must know it as Mimoza's own text, not the user's.
extern const char kFormerNoListText[];

// The process-wide 15-bit generator: state 1 until seeded. Our own, so that every platform draws
// the same sequence from the same seed; named after the C library's pair it stands in for.
void srand(uint32_t seed);  // NOLINT(readability-identifier-naming)
int32_t rand();             // NOLINT(readability-identifier-naming): 0 to 32767

// RandomInt: an integer from lo to hi inclusive (for hi >= lo), one draw of the generator.
int32_t RandomInt(int32_t lo, int32_t hi);

// The generator's outputs: rand() gives 0 to kGeneratorOutputs - 1, so every chance a draw makes is
// a whole number of them.
inline constexpr int32_t kGeneratorOutputs = 32768;

// RandomIntFrom: what RandomInt(lo, hi) gives when the generator's output is r; RandomInt is this
// applied to one rand().
int32_t RandomIntFrom(int32_t r, int32_t lo, int32_t hi);

// OutputsGiving: how many of the generator's outputs make RandomInt(0, n - 1) give index, counted
// exactly from RandomIntFrom; 0 when n < 1 or index is not in [0, n).
int32_t OutputsGiving(int32_t index, int32_t n);

// FindByte: the first position in [from, end) holding byte, or null.
const char* FindByte(const char* from, char byte, const char* end);

// CopyBounded: copies at most n bytes of src, stopping before a NUL, then writes a NUL
// (dst holds n + 1 bytes).
void CopyBounded(char* dst, const char* src, uint32_t n);

// Which line a quip pick drew, for a host that tells where a response came from.
struct QuipPick {
  int32_t line = 0;   // 1-based, counted in the file as read (and as stored: only LFs end lines)
  int32_t lines = 0;  // the lines the pick chose from
};

// PickQuip: a random line of the quip file, its LF included (the last line may have none), cut
// to outLen bytes; *pick (when given) says which. Returns false, drawing nothing and leaving out
// and *pick untouched, when the file cannot be opened or read or holds no line at all (an empty
// file is as good as none).
bool PickQuip(const char* fileName, char* out, uint32_t outLen, QuipPick* pick = nullptr);

// CountQuips: the lines PickQuip would choose from; 0 when it would give none. Draws nothing.
int32_t CountQuips(const char* fileName);

// AppendEntry: appends one key/answer entry to Dictionary.txt with a single write.
// Returns false, leaving the file as it was, when the text could break the file's tags or the
// write fails; *error (when given) is then 0 for a refused text, else the system's error number.
bool AppendEntry(const char* key, const char* answer, int* error = nullptr);

// TurnBudget: the work one turn's searches may do, in search steps (knowledge/limits.h), and the
// flag that stops them. Each part of the turn takes its fixed slice (kLineLookupSteps, ...); the
// turn as a whole never passes kTurnSteps. Once the stop flag is set every search of the turn
// gives up at once. Used by one thread; the flag may be set from any thread or signal handler.
class TurnBudget {
 public:
  explicit TurnBudget(const std::atomic<bool>* stopFlag = nullptr) : stop(stopFlag) {}

  // Take: the steps of one part: its slice, or what the turn has left when that is less.
  int64_t Take(int64_t slice) {
    const int64_t taken = slice < left ? slice : left;
    left -= taken;
    return taken;
  }
  // Commit: the turn has stored what it learned; from here it heeds no stop and runs to its end.
  void Commit() { stop = nullptr; }
  // Spent: a part tells the steps it took, for Used.
  void Spent(int64_t steps) { used += steps; }
  int64_t Used() const { return used; }
  const std::atomic<bool>* StopFlag() const { return stop; }
  bool Stopped() const { return stop != nullptr && stop->load(std::memory_order_relaxed); }

 private:
  const std::atomic<bool>* stop;
  int64_t left = kTurnSteps;
  int64_t used = 0;
};

// Why a key a lookup tested was not searched to its end; such a key counts as not matching.
enum UnsearchedReason : int8_t {
  UnsearchedSteps = 0,  // its share of the turn's steps ran out
  UnsearchedMemory,     // its search needed more memory than one search may take
};

// A key a lookup could not search to its end, as a LookupObserver is told it.
struct UnsearchedKey {
  uint64_t line;     // line of its "<KEY" in Dictionary.txt as stored, from 1 (0: unknown)
  const char* text;  // the key text, code page 932; valid during the call only
  size_t length;
  UnsearchedReason reason;
};

// A key a lookup found matching, as a LookupObserver is told it.
struct MatchedKey {
  uint64_t line;     // line of its "<KEY" in Dictionary.txt as stored, from 1 (0: unknown)
  const char* text;  // the key text as tested, code page 932; valid during the call only
  size_t length;     // of text, which has no NUL at its end
  bool spanFound;    // the key's search found the match below (false: it gave up on its budget)
  size_t spanStart;  // the match in the subject, entry 0 of the key's search, as byte offsets;
  size_t spanEnd;    // an exact key spans the whole subject
};

// LookupObserver: told what one lookup finds, in the order it finds it, so that a host can say
// why a line got its answer. Optional: a lookup without one does none of this work.
class LookupObserver {
 public:
  virtual void LookupStarted() = 0;
  // KeyMatched: a key matched; the answers it adds to the pool are told next.
  virtual void KeyMatched(const MatchedKey& key) = 0;
  // AnswerPooled: the next answer of the pool (the first is index 0), as a draw of it would copy
  // it (cut to the lookup's limit, at a NUL), valid during the call only; line is the line of its
  // own "<ANS>" in Dictionary.txt as stored, from 1 (0: unknown).
  virtual void AnswerPooled(const char* text, uint64_t line) = 0;
  // LookupEnded: the pool the lookup draws from holds poolSize answers (0: it yields nothing,
  // whatever was told before); drawn is the index it drew, or -1 when it drew none.
  virtual void LookupEnded(int32_t poolSize, int32_t drawn) = 0;
  // KeyUnsearched: a key the lookup tested, in file order with the matched ones, counts as not
  // matching because its search could not run to its end.
  virtual void KeyUnsearched(const UnsearchedKey& key) { static_cast<void>(key); }

 protected:
  ~LookupObserver() = default;
};

// Which part of a turn a lookup is; each has its own slice of the turn's budget.
enum LookupRole : int8_t {
  LookupLine = 0,  // the line's lookup (kLineLookupSteps)
  LookupReserved,  // a prompt's or a yes/no list's (kReservedLookupSteps)
};

// Dictionary: Dictionary.txt in the working directory, and what was learned about it kept from
// one lookup to the next: where its keys and answers stand, and each key's facts, so that a
// lookup costs little more than reading the file. The file is still read whole by every lookup,
// so an edit or an append, by this process or any other, takes effect on the next one. One per
// data directory, used by one thread at a time.
// Every lookup takes the slice of its role from the budget of the turn it belongs to (SetTurn),
// or, outside a turn, from a budget of its own: what a lookup decides depends only on the file,
// the subject and its role, never on the lookups before it.
class Dictionary {
 public:
  // blockBytes: the size of the blocks the file is read and compared in (0: the default).
  explicit Dictionary(size_t blockBytes = 0);
  Dictionary(const Dictionary&) = delete;
  Dictionary& operator=(const Dictionary&) = delete;
  ~Dictionary();

  // LookupAnswer: pools the answers of every key that matches subject (the line's lookup of a
  // turn) and copies one drawn at random into out. Returns false, leaving out untouched, when
  // none matched, the file cannot be read or the turn was stopped. An observer (when given) is
  // told the matched keys, the keys not searched to their end, the pool and the draw.
  bool LookupAnswer(const char* subject, MatchMode mode, char* out, uint32_t outLen,
                    LookupObserver* observer = nullptr);

  // LookupOrSeed: the lookup of a prompt or a list (LookupReserved), and when that finds nothing
  // in a file that was read (or that does not exist yet), appends the default under the key and
  // looks up once more. When the default cannot be stored, out gets the default itself: the file
  // lacks the entry, and the default is what it stands for. A file that exists but cannot be
  // read gets nothing appended and out stays untouched, as it does when the turn was stopped.
  // Returns whether out holds an answer. The observer sees each lookup.
  bool LookupOrSeed(const char* key, const char* defaultAnswer, MatchMode mode, char* out,
                    uint32_t outLen, LookupObserver* observer = nullptr);

  // ObserveLookup: the lookup LookupAnswer (LookupLine) or LookupOrSeed's first (LookupReserved)
  // would run, told to observer (answers cut to a line's bytes), drawing nothing and copying
  // nothing. Returns whether it would find one.
  bool ObserveLookup(const char* subject, MatchMode mode, LookupObserver& observer,
                     LookupRole role = LookupLine);

  // SetTurn: the budget of the turn the next lookups belong to; null: each lookup has a budget
  // of its own. The budget must outlive its use here.
  void SetTurn(TurnBudget* budget) { turn = budget; }
  // Turn: the budget set, or null.
  TurnBudget* Turn() const { return turn; }

  // MemoryBytes: what the dictionary keeps between lookups.
  size_t MemoryBytes() const;

 private:
  struct State;
  bool Lookup(const char* subject, MatchMode mode, char* out, uint32_t outLen,
              LookupObserver* observer, LookupRole role);
  std::unique_ptr<State> state;
  TurnBudget* turn = nullptr;
};

// ClassifyReply: searches the dictionary's yes-list and no-list in the reply; the no-list decides
// last. A null reply is Neither. The lists' lookups and searches are parts of the dictionary's
// turn (a list whose search runs out of its slice matches nothing).
ReplyKind ClassifyReply(Dictionary& dictionary, const char* text);

}  // namespace mimoza
