// pattern/search.cpp: (Pattern, subject line) -> first match in try order, with group spans.
// Leaves this file: SearchPattern, SearchWithin, FreeSpans, PatternFound, MatchesPattern,
// MatchesWithin, SearchWith. MatchFrom and the span log are private.
// Tested by tests/pattern/search_test.cpp.
//
// The walk is depth-first with an explicit stack of choice points, trying each state's edges in
// list order. A (state, position) pair that failed once fails again whatever path reaches it, so
// the bounded walk marks it and never enters it a second time, not even from a later start
// position: every pair is entered at most once per pass. A pair on the current path is not
// entered again at the same position either; that is what breaks epsilon cycles such as "(a*)*".
//
// Skipping a failed pair must not change the group spans: the plain walk would have walked it
// again, writing spans. The first pass writes spans as it goes; when the winning start's walk
// skipped nothing, they are the plain walk's spans. Otherwise a second pass walks again from the
// winning start with span writes going to a log: a failed pair remembers its stretch of the log,
// a skip adds a reference to that stretch, and one backward pass over the log, following the
// references, finds the last write of every span field.
#include "pattern/search.h"

#include <cstring>
#include <new>
#include <utility>

#include "pattern/automaton.h"
#include "pattern/class.h"
#include "pattern/limits.h"
#include "pattern/memory.h"

namespace mimoza {
namespace {

constexpr uint32_t kNoMatch = ~uint32_t{0};
// Pairs of a search must stay countable with room to spare; a bigger subject times a bigger
// pattern is refused as no match (it could not be searched in time anyway).
constexpr uint64_t kMaxPairs = uint64_t{1} << 40;
// Up to this many pairs the span log finds a failed pair's stretch in a plain array (4 bytes a
// pair); beyond it, in a hash table sized by the pairs that actually failed.
constexpr uint64_t kMaxDensePairs = uint64_t{1} << 20;

// Log entries: a span write (field >= 0), or one of these.
constexpr int32_t kLogClose = -1;  // a failed pair's stretch ends here; value: where it began
constexpr int32_t kLogSkip = -2;   // a failed pair was skipped; value: its kLogClose entry

struct LogEntry {
  int32_t field;   // span write: 2 * group, + 1 for the end; else kLogClose or kLogSkip
  uint32_t value;  // span write: a subject offset
  bool scanned;    // kLogClose: its stretch was read by the backward pass
};

struct WalkFrame {
  const PatternEdge* next;  // next edge to try
  uint32_t position;
  int32_t state;
  uint32_t logBegin;  // log size when the pair was entered
};

// PairMap: failed pair -> index of its kLogClose entry + 1, for pairs whose stretch is not
// empty. Open addressing, sized to what the search actually records.
class PairMap {
 public:
  PairMap() = default;
  PairMap(const PairMap&) = delete;
  PairMap& operator=(const PairMap&) = delete;
  ~PairMap() { delete[] slots; }

  bool Insert(uint64_t pair, uint32_t value) {
    if ((count + 1) * 2 > capacity && !Grow()) return false;
    Place(pair + 1, value);
    ++count;
    return true;
  }
  // SetBudget: growing takes its bytes from *bytesLeft (see WorkStack::SetBudget).
  void SetBudget(size_t* bytesLeft) { budget = bytesLeft; }
  // Bytes: its table, every slot of which is written when it is made.
  size_t Bytes() const { return capacity * sizeof(Slot); }
  uint32_t Find(uint64_t pair) const {
    if (capacity == 0) return 0;
    for (size_t i = Hash(pair + 1);; i = (i + 1) & (capacity - 1)) {
      if (slots[i].key == 0) return 0;
      if (slots[i].key == pair + 1) return slots[i].value;
    }
  }

 private:
  struct Slot {
    uint64_t key;  // pair + 1; 0 marks an empty slot
    uint32_t value;
  };
  size_t Hash(uint64_t key) const {
    return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 20) & (capacity - 1);
  }
  void Place(uint64_t key, uint32_t value) {
    size_t i = Hash(key);
    while (slots[i].key != 0) i = (i + 1) & (capacity - 1);
    slots[i] = {key, value};
  }
  bool Grow() {
    size_t grown = capacity == 0 ? 64 : capacity * 2;
    if (budget != nullptr) {
      if (grown * sizeof(Slot) > *budget) return false;
      *budget -= grown * sizeof(Slot);
    }
    Slot* old = slots;
    size_t oldCapacity = capacity;
    slots = new (std::nothrow) Slot[grown]();
    if (slots == nullptr) {
      slots = old;
      return false;
    }
    capacity = grown;
    for (size_t i = 0; i < oldCapacity; ++i) {
      if (old[i].key != 0) Place(old[i].key, old[i].value);
    }
    delete[] old;
    return true;
  }

  Slot* slots = nullptr;  // capacity entries, a power of two
  size_t capacity = 0;
  size_t count = 0;  // entries in use, at most half the capacity
  size_t* budget = nullptr;
};

}  // namespace

// All state of one search.
// inlineMarks is cleared by PrepareMarks, as far as a search uses it.
struct MatchContext {  // NOLINT(cppcoreguidelines-pro-type-member-init)
  const Pattern* pattern = nullptr;
  MatchSpan* spans = nullptr;  // spans written as the walk goes (null: not kept)
  int32_t ignoreCase = 0;      // folding only when exactly 1
  const unsigned char* subject = nullptr;
  uint64_t stateCount = 0;
  bool plain = false;      // WalkPlain: on-path marks only, spans written directly
  bool logging = false;    // the bounded walk's second pass: span writes go to the log
  bool failed = false;     // out of steps or memory, or stopped: the search reports no match
  WorkEnd end = WorkDone;  // why it failed
  size_t memoryLeft = kSearchMemoryBudget;  // for the visited record, the stack and the log
  // Memory is charged in steps as it is touched: the visited record and the stretch table when
  // they are made, the stacks as deep as they went. fixedTouched counts the first two.
  size_t fixedTouched = 0;
  size_t touchedCharged = 0;
  bool skipped = false;  // the walk met a pair it had entered before (failed, or on the path)
  int64_t steps = 0;
  int64_t maxSteps = kSearchStepBudget;
  const std::atomic<bool>* stop = nullptr;  // the caller's stop flag, or null
  int64_t checkAt = kSearchStepBudget;      // the next step count to look at the limits at

  // The visited record: one bit per (state, position), position-major, set while the pair is on
  // the path and, in the bounded walk, kept once it has failed. Whether a set pair failed or is
  // on the path matters only for the span log, and only failed pairs have a stretch there. A
  // short search keeps the record in inlineMarks.
  uint64_t* marks = nullptr;
  uint64_t markWords = 0;
  uint64_t inlineMarks[32];
  WorkStack<WalkFrame, 64> frames;
  WorkStack<LogEntry, 16> log;
  uint32_t* denseCloses = nullptr;  // pair -> kLogClose index + 1, when the pairs are few
  PairMap closes;                   // the same, for many pairs

  MatchContext() = default;  // NOLINT(cppcoreguidelines-pro-type-member-init)
  MatchContext(const MatchContext&) = delete;
  MatchContext& operator=(const MatchContext&) = delete;
  ~MatchContext() {
    if (marks != inlineMarks) delete[] marks;
    delete[] denseCloses;
  }
  void ClearVisited(uint64_t pair) { marks[pair >> 6] &= ~(uint64_t{1} << (pair & 63)); }
  // Fail: the search ends as no match; the first reason is the one told.
  void Fail(WorkEnd why) {
    if (!failed) end = why;
    failed = true;
  }
};

namespace {

// ChargeMemory: the memory taken since the last charge, in steps.
void ChargeMemory(MatchContext& context) {
  const size_t touched = context.fixedTouched + context.closes.Bytes() +
                         context.frames.TouchedBytes() + context.log.TouchedBytes();
  if (touched > context.touchedCharged) {
    context.steps += static_cast<int64_t>((touched - context.touchedCharged) / kFreshBytesPerStep);
    context.touchedCharged = touched;
  }
}

// CheckLimits: the memory taken is charged; then past the step limit, or with the stop flag set,
// the search fails; otherwise the next look is set. Called when the step count reaches checkAt,
// and whenever memory is taken at once (the visited record).
[[gnu::noinline]] void CheckLimits(MatchContext& context) {
  ChargeMemory(context);
  if (context.steps >= context.maxSteps) {
    context.Fail(WorkOutOfSteps);
    return;
  }
  if (context.stop != nullptr && context.stop->load(std::memory_order_relaxed)) {
    context.Fail(WorkStopped);
    return;
  }
  context.checkAt = context.steps + kStopPollSteps < context.maxSteps
                        ? context.steps + kStopPollSteps
                        : context.maxSteps;
}

unsigned char FoldAscii(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 0x20) : c;
}

// Step: the position after the character at pos when the consuming edge holds there, else
// kNoMatch. A lead byte right before the NUL is a one-byte character: nothing steps past the NUL.
inline uint32_t Step(const MatchContext& context, const PatternEdge& edge, uint32_t pos) {
  const unsigned char* s = context.subject + pos;
  unsigned char c = s[0];
  if (c == 0) return kNoMatch;
  if (context.pattern->lineEndAnchored == 1 && (c == '\r' || c == '\n')) return kNoMatch;
  bool holds;
  if (edge.kind == NodeClass) {
    if (edge.byteSet != nullptr) {
      holds = (edge.byteSet[c >> 3] & (1u << (c & 7))) != 0;
    } else {
      holds = edge.classText != nullptr &&
              ClassContains(edge.classText, reinterpret_cast<const char*>(s)) == 1;
    }
  } else if (IsLeadByte(c)) {
    holds = edge.charLead == c && edge.charTrail == s[1];
  } else if (context.ignoreCase == 1) {
    holds = FoldAscii(edge.charLead) == FoldAscii(c);
  } else {
    holds = edge.charLead == c;
  }
  if (!holds) return kNoMatch;
  return pos + static_cast<uint32_t>(CharacterLength(s));
}

inline bool AcceptsAt(const MatchContext& context, uint32_t pos) {
  if (context.pattern->lineEndAnchored != 1) return true;
  unsigned char c = context.subject[pos];
  return c == 0 || c == '\r' || c == '\n';
}

void Log(MatchContext& context, int32_t field, uint32_t value) {
  if (!context.log.Push(LogEntry{field, value, false})) context.Fail(WorkOutOfMemory);
}

// RecordSpan: a group edge was taken at pos.
void RecordSpan(MatchContext& context, const PatternEdge& edge, uint32_t pos) {
  if (edge.group < 0 || edge.group >= context.pattern->groupSlots) return;
  bool isEnd = edge.kind == NodeGroupClose;
  if (context.logging) {
    Log(context, edge.group * 2 + (isEnd ? 1 : 0), pos);
  } else if (context.spans != nullptr) {
    MatchSpan& span = context.spans[edge.group];
    (isEnd ? span.end : span.start) = reinterpret_cast<const char*>(context.subject + pos);
  }
}

// FindClose: index + 1 of the kLogClose entry of a failed pair, or 0 when its stretch is empty.
uint32_t FindClose(const MatchContext& context, uint64_t pair) {
  if (context.denseCloses != nullptr) return context.denseCloses[pair];
  return context.closes.Find(pair);
}

// Leave: the top frame's pair has no edge left to try.
void Leave(MatchContext& context, const WalkFrame& frame) {
  uint64_t pair = frame.position * context.stateCount + static_cast<uint64_t>(frame.state);
  if (context.plain) {
    context.ClearVisited(pair);
    return;
  }
  // The bounded walk keeps the mark: the pair has failed for good.
  if (context.logging && context.log.Size() > frame.logBegin) {
    auto close = static_cast<uint32_t>(context.log.Size());
    Log(context, kLogClose, frame.logBegin);
    if (context.denseCloses != nullptr) {
      context.denseCloses[pair] = close + 1;
    } else if (!context.closes.Insert(pair, close + 1)) {
      context.Fail(WorkOutOfMemory);
    }
  }
}

// Enter: the walk arrives at (state, pos). True when that is an accepted end of the match;
// otherwise the pair is entered (pushed) unless it is on the path or has failed before.
[[gnu::always_inline]] inline bool Enter(MatchContext& context, int32_t state, uint32_t pos) {
  if (state == context.pattern->finalState) return AcceptsAt(context, pos);
  uint64_t pair = pos * context.stateCount + static_cast<uint64_t>(state);
  uint64_t& word = context.marks[pair >> 6];
  uint64_t bit = uint64_t{1} << (pair & 63);
  if ((word & bit) != 0) {
    // On the path (an epsilon cycle) or failed before; a failed pair that wrote spans replays
    // them, as the plain walk would by walking it again.
    if (context.logging) {
      if (uint32_t close = FindClose(context, pair)) Log(context, kLogSkip, close - 1);
    }
    context.skipped = true;
    return false;
  }
  word |= bit;
  if (++context.steps >= context.checkAt) CheckLimits(context);
  if (!context.frames.Push(WalkFrame{context.pattern->states[state], pos, state,
                                     static_cast<uint32_t>(context.log.Size())})) {
    context.Fail(WorkOutOfMemory);
  }
  return false;
}

// MatchFrom: the end of the first match in try order from (state, pos), or kNoMatch.
uint32_t MatchFrom(MatchContext& context, int32_t state, uint32_t pos) {
  context.frames.Clear();
  if (Enter(context, state, pos)) return pos;
  // Leaving a pair matters to the plain walk (its mark goes) and to the logging pass (its
  // stretch is closed). The first bounded pass only keeps the mark, so it drops a frame as soon
  // as its last edge is taken: the stack then holds only pairs with choices left.
  bool leaveQuietly = !context.plain && !context.logging;
  while (!context.frames.Empty()) {
    WalkFrame& top = context.frames.Top();
    const PatternEdge* edge = top.next;
    if (edge == nullptr) {
      if (!leaveQuietly) Leave(context, top);
      context.frames.Pop();
      continue;
    }
    top.next = edge->next;
    uint32_t to = top.position;
    if (leaveQuietly && edge->next == nullptr) context.frames.Pop();
    if (edge->epsilon != 0) {
      if (edge->kind == NodeGroupOpen || edge->kind == NodeGroupClose) {
        RecordSpan(context, *edge, to);
      }
    } else {
      to = Step(context, *edge, to);
      if (to == kNoMatch) continue;
    }
    if (Enter(context, edge->target, to)) return to;
    if (context.failed) break;
  }
  // The on-path marks of an abandoned walk stay: the search ends with it.
  return kNoMatch;
}

// ResolveSpans: the last write of every group field in the log, in the order the plain walk
// would have made them: scanning backwards, a skip stands for the stretch it refers to. A
// stretch read once need not be read again, because every field still open then is still open
// now; so each log entry is read at most once.
bool ResolveSpans(MatchContext& context, MatchSpan* spans) {
  struct Range {
    uint32_t next;  // one past the entry to read next
    uint32_t low;
  };
  int64_t open = 2 * (static_cast<int64_t>(context.pattern->groupSlots) - 1);
  WorkStack<Range> ranges;
  if (!ranges.Push({static_cast<uint32_t>(context.log.Size()), 0})) return false;
  while (!ranges.Empty() && open > 0) {
    Range& range = ranges.Top();
    if (range.next <= range.low) {
      ranges.Pop();
      continue;
    }
    LogEntry& entry = context.log[--range.next];
    if (entry.field >= 0) {
      int32_t group = entry.field / 2;
      if (group == 0) continue;  // slot 0 is the whole match, written last
      const char*& field = (entry.field & 1) != 0 ? spans[group].end : spans[group].start;
      if (field == nullptr) {
        field = reinterpret_cast<const char*>(context.subject + entry.value);
        --open;
      }
    } else if (entry.field == kLogClose) {
      if (entry.scanned) range.next = entry.value;  // already read: jump over its stretch
      entry.scanned = true;
    } else {
      LogEntry& close = context.log[entry.value];
      if (!close.scanned) {
        close.scanned = true;
        if (!ranges.Push({entry.value, close.value})) return false;
      }
    }
  }
  return true;
}

// MayStartAt: false when no match can start at pos, by the pattern's start filter.
inline bool MayStartAt(const Pattern& pattern, const unsigned char* s) {
  if (pattern.anyStart) return true;
  if (pattern.firstLead != 0) {
    return s[0] == pattern.firstLead && (!IsLeadByte(s[0]) || s[1] == pattern.firstTrail);
  }
  return (pattern.firstBytes[s[0] >> 3] & (1u << (s[0] & 7))) != 0;
}

// NextLineStart: the first byte of the next non-empty line after pos, or the terminator.
uint32_t NextLineStart(const unsigned char* s, uint32_t pos) {
  while (s[pos] != 0 && s[pos] != '\r' && s[pos] != '\n') ++pos;
  while (s[pos] == '\r' || s[pos] == '\n') ++pos;
  return pos;
}

// NextStart: the first start position after pos worth trying (the terminator when there is
// none): the next character, or for a pattern anchored at line starts the first byte of the next
// non-empty line, skipping those where the start filter rules a match out. A match starts only
// where a character does, never on the second byte of a two-byte one.
uint32_t NextStart(const MatchContext& context, uint32_t pos) {
  const unsigned char* s = context.subject;
  const Pattern& pattern = *context.pattern;
  do {
    if (pattern.lineStartAnchored == 1) {
      pos = NextLineStart(s, pos);
    } else {
      pos += static_cast<uint32_t>(CharacterLength(s + pos));
    }
  } while (s[pos] != 0 && !MayStartAt(pattern, s + pos));
  return pos;
}

// PrepareMarks: an empty visited record (allocated once per search), and for the logging pass
// the dense table of stretches when the pairs are few.
// The record's memory is charged before it is touched, so a limit too small for it gives up
// without the page faults. False, with the reason set, when it cannot be had.
bool PrepareMarks(MatchContext& context, size_t length) {
  const auto outOfMemory = [&] {
    context.Fail(WorkOutOfMemory);
    return false;
  };
  uint64_t pairs = context.stateCount * (uint64_t{length} + 1);
  if (pairs > kMaxPairs) return outOfMemory();
  if (context.marks == nullptr) {
    context.markWords = (pairs + 63) / 64;
    if (context.markWords > SIZE_MAX / sizeof(uint64_t)) return outOfMemory();  // 32-bit targets
    if (context.markWords <= sizeof(context.inlineMarks) / sizeof(uint64_t)) {
      context.marks = context.inlineMarks;
    } else {
      if (context.markWords * sizeof(uint64_t) > context.memoryLeft) return outOfMemory();
      context.memoryLeft -= static_cast<size_t>(context.markWords) * sizeof(uint64_t);
      context.fixedTouched += static_cast<size_t>(context.markWords) * sizeof(uint64_t);
      CheckLimits(context);
      if (context.failed) return false;
      context.marks = new (std::nothrow) uint64_t[static_cast<size_t>(context.markWords)];
      if (context.marks == nullptr) return outOfMemory();
    }
  }
  std::memset(context.marks, 0, static_cast<size_t>(context.markWords) * sizeof(uint64_t));
  if (context.logging && pairs <= kMaxDensePairs && context.denseCloses == nullptr) {
    if (pairs * sizeof(uint32_t) > context.memoryLeft) return outOfMemory();
    context.memoryLeft -= static_cast<size_t>(pairs) * sizeof(uint32_t);
    context.fixedTouched += static_cast<size_t>(pairs) * sizeof(uint32_t);
    CheckLimits(context);
    if (context.failed) return false;
    context.denseCloses = new (std::nothrow) uint32_t[static_cast<size_t>(pairs)]();
    if (context.denseCloses == nullptr) return outOfMemory();
  }
  return true;
}

// FirstStart: the first start position worth trying, or the terminator.
uint32_t FirstStart(const MatchContext& context) {
  if (MayStartAt(*context.pattern, context.subject)) return 0;
  return NextStart(context, 0);
}

// ReferenceSearch: the plain ordered walk from every start position, spans written as it goes
// and reset for each start; the walk the bounded one must equal.
int32_t ReferenceSearch(MatchContext& context, const char* subject, MatchSpan** spans) {
  const int32_t slots = context.pattern->groupSlots;
  auto* array = new (std::nothrow) MatchSpan[static_cast<size_t>(slots)]();
  if (array == nullptr) return 0;
  context.spans = array;
  // Every start position is tried, without the start filter, so that the tests check it too.
  const bool byLine = context.pattern->lineStartAnchored == 1;
  for (uint32_t start = 0; subject[start] != '\0';
       start = byLine ? NextLineStart(context.subject, start)
                      : start + static_cast<uint32_t>(CharacterLength(context.subject + start))) {
    for (int32_t i = 0; i < slots; ++i) array[i] = MatchSpan{nullptr, nullptr};
    const uint32_t end = MatchFrom(context, context.pattern->startState, start);
    if (context.failed) break;
    if (end != kNoMatch) {
      array[0] = MatchSpan{subject + start, subject + end};
      *spans = array;
      return slots;
    }
  }
  delete[] array;
  return 0;
}

// LiteralSearch: a pattern that is one plain text is found where its bytes first occur (see
// LiteralText in pattern/automaton.cpp).
int32_t LiteralSearch(const Pattern& pattern, const char* subject, MatchSpan** spans) {
  // The first occurrence that starts where a character does: the characters are stepped over
  // from the start up to each occurrence the byte search finds.
  const auto* s = reinterpret_cast<const unsigned char*>(subject);
  const char* found = std::strstr(subject, pattern.literal);
  const char* boundary = subject;
  while (found != nullptr) {
    while (boundary < found) boundary += CharacterLength(s + (boundary - subject));
    if (boundary == found) break;
    found = std::strstr(boundary, pattern.literal);
  }
  if (found == nullptr) return 0;
  auto* array = new (std::nothrow) MatchSpan[static_cast<size_t>(pattern.groupSlots)]();
  if (array == nullptr) return 0;
  array[0] = MatchSpan{found, found + std::strlen(pattern.literal)};
  *spans = array;
  return pattern.groupSlots;
}

// BoundedSearch: the first pass finds the match, with failed pairs shared by all start
// positions and spans written as they go, like the plain walk does. When the winning start's
// walk skipped pairs the plain walk would have walked again (writing spans), a second pass from
// that start logs the span writes (it takes the same path), and resolving the log gives the
// plain walk's spans for that start.
int32_t BoundedSearch(MatchContext& context, const char* subject, size_t length,
                      MatchSpan** spans) {
  const Pattern& pattern = *context.pattern;
  const int32_t slots = pattern.groupSlots;
  MatchSpan* array = nullptr;
  if (pattern.hasGroupEdges) {
    array = new (std::nothrow) MatchSpan[static_cast<size_t>(slots)];
    if (array == nullptr) return 0;
    context.spans = array;
  }
  uint32_t start = FirstStart(context);
  uint32_t end = kNoMatch;
  for (; subject[start] != '\0'; start = NextStart(context, start)) {
    for (int32_t i = 0; array != nullptr && i < slots; ++i) array[i] = MatchSpan{};
    context.skipped = false;
    end = MatchFrom(context, pattern.startState, start);
    if (end != kNoMatch || context.failed) break;
  }
  bool found = end != kNoMatch && !context.failed;
  if (found && array == nullptr) {
    array = new (std::nothrow) MatchSpan[static_cast<size_t>(slots)]();
    found = array != nullptr;
  } else if (found && context.skipped) {
    for (int32_t i = 0; i < slots; ++i) array[i] = MatchSpan{};
    context.logging = true;
    found = PrepareMarks(context, length) && MatchFrom(context, pattern.startState, start) == end &&
            !context.failed && ResolveSpans(context, array);
  }
  if (!found) {
    delete[] array;  // null when nothing was allocated
    return 0;
  }
  array[0] = MatchSpan{subject + start, subject + end};
  *spans = array;
  return slots;
}

}  // namespace

// SearchWith: dispatches to the reference walk, the literal search or the bounded walk.
int32_t SearchWith(const Pattern* pattern, const char* subject, MatchSpan** spans,
                   int32_t ignoreCase, SearchWalk walk, PatternWork* work) {
  if (work != nullptr) {
    work->steps = 0;
    work->end = WorkDone;
  }
  if (pattern == nullptr || subject == nullptr || spans == nullptr || subject[0] == '\0') {
    return 0;
  }
  const size_t length = std::strlen(subject);
  if (length > kMaxSubjectBytes) return 0;
  if (walk != WalkPlain && pattern->literal != nullptr && ignoreCase != 1) {
    return LiteralSearch(*pattern, subject, spans);
  }
  MatchContext context;
  context.pattern = pattern;
  context.ignoreCase = ignoreCase;
  context.subject = reinterpret_cast<const unsigned char*>(subject);
  context.stateCount = static_cast<uint64_t>(pattern->stateCount);
  context.plain = walk == WalkPlain;
  if (work != nullptr) {
    context.maxSteps = work->stepLimit;
    context.memoryLeft = work->memoryLimit;
    context.stop = work->stop;
  }
  CheckLimits(context);  // a limit of no steps, or a stop already asked for, ends it here
  context.frames.SetBudget(&context.memoryLeft);
  context.log.SetBudget(&context.memoryLeft);
  context.closes.SetBudget(&context.memoryLeft);
  int32_t result = 0;
  if (!context.failed && PrepareMarks(context, length)) {
    result = context.plain ? ReferenceSearch(context, subject, spans)
                           : BoundedSearch(context, subject, length, spans);
  }
  ChargeMemory(context);  // what it took since the last look, for the count told
  if (work != nullptr) {
    work->steps = context.steps < context.maxSteps ? context.steps : context.maxSteps;
    work->end = context.failed ? context.end : WorkDone;
  }
  return result;
}

int32_t SearchPattern(const Pattern* pattern, const char* subject, MatchSpan** spans,
                      int32_t ignoreCase) {
  return SearchWith(pattern, subject, spans, ignoreCase, WalkBounded, nullptr);
}

int32_t SearchWithin(const Pattern* pattern, const char* subject, MatchSpan** spans,
                     PatternWork* work) {
  return SearchWith(pattern, subject, spans, 0, WalkBounded, work);
}

bool MatchesWithin(const char* text, const char* subject, PatternWork* work, PatternPtr* compiled) {
  PatternPtr pattern(CompileWithin(text, work));
  const int64_t compiling = work->steps;
  bool found = false;
  if (work->end == WorkDone) {
    PatternWork searching = *work;
    searching.stepLimit = work->stepLimit - compiling;
    MatchSpan* spans = nullptr;
    found = SearchWithin(pattern.get(), subject, &spans, &searching) > 0;
    FreeSpans(spans);
    work->steps = compiling + searching.steps;
    work->end = searching.end;
  }
  if (compiled != nullptr) *compiled = std::move(pattern);
  return found;
}

void FreeSpans(MatchSpan* spans) { delete[] spans; }

bool PatternFound(const Pattern* pattern, const char* subject) {
  MatchSpan* spans = nullptr;  // a failed search leaves it unwritten
  const bool found = SearchPattern(pattern, subject, &spans, 0) > 0;
  FreeSpans(spans);
  return found;
}

bool MatchesPattern(const char* text, const char* subject) {
  const PatternPtr pattern(CompilePattern(text));
  return PatternFound(pattern.get(), subject);
}

}  // namespace mimoza
