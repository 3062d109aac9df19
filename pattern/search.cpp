// pattern/search.cpp: (Pattern, subject line) -> first match in try order, with group spans.
// Leaves this file: SearchPattern, FreeSpans, SearchWith, ClassContains. MatchFrom and the span
// log are private.
// Tested by tests/pattern/search_test.cpp and tests/pattern/class_test.cpp.
//
// The walk is depth-first with an explicit stack of choice points, trying each state's edges in
// list order. A (state, position) pair that failed once fails again whatever path reaches it, so
// the bounded walk marks it and never enters it a second time, not even from a later start
// position: every pair is entered at most once per search. A pair on the current path is not
// entered again at the same position either; that is what breaks epsilon cycles such as "(a*)*".
//
// Skipping a failed pair must not change the group spans: the plain walk would have walked it
// again and written the same spans. So span writes go to a log instead of the span array; a
// failed pair remembers its stretch of the log, a skip adds a reference to that stretch, and on
// success one backward pass over the log, following the references, finds the last write of
// every span field.
#include "pattern/search.h"

#include <cstring>
#include <new>

#include "pattern/automaton.h"
#include "pattern/lexer.h"
#include "pattern/memory.h"

namespace mimoza {
namespace {

constexpr size_t kNoMatch = ~static_cast<size_t>(0);
// Pairs of a search must stay countable in 64 bits with room to spare; a bigger subject times a
// bigger pattern is refused as no match (it could not be searched in time anyway).
constexpr uint64_t kMaxPairs = uint64_t{1} << 40;

enum LogKind : int32_t {
  LogWrite = 0,  // field := value (a subject offset)
  LogClose = 1,  // a failed pair's stretch ends here; value = index where it began
  LogSkip = 2,   // a failed pair was skipped; value = index of its LogClose entry
};

struct LogEntry {
  int32_t kind;
  int32_t field;  // LogWrite: 2 * group, + 1 for the end
  uint64_t value;
  bool scanned;  // LogClose: its stretch was read by the backward pass
};

struct WalkFrame {
  const PatternEdge* next;  // next edge to try
  size_t position;
  uint64_t logBegin;  // log size when the pair was entered
  int32_t state;
};

// PairMap: failed pair -> index of its LogClose entry, for pairs whose stretch is not empty.
// Open addressing, sized to what the search actually records.
class PairMap {
 public:
  PairMap() = default;
  PairMap(const PairMap&) = delete;
  PairMap& operator=(const PairMap&) = delete;
  ~PairMap() { delete[] slots_; }

  bool Insert(uint64_t pair, uint64_t value) {
    if ((count_ + 1) * 2 > capacity_ && !Grow()) return false;
    Place(pair + 1, value);
    ++count_;
    return true;
  }
  bool Find(uint64_t pair, uint64_t* value) const {
    if (capacity_ == 0) return false;
    for (size_t i = Hash(pair + 1);; i = (i + 1) & (capacity_ - 1)) {
      if (slots_[i].key == 0) return false;
      if (slots_[i].key == pair + 1) {
        *value = slots_[i].value;
        return true;
      }
    }
  }

 private:
  struct Slot {
    uint64_t key;  // pair + 1; 0 marks an empty slot
    uint64_t value;
  };
  size_t Hash(uint64_t key) const {
    return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 20) & (capacity_ - 1);
  }
  void Place(uint64_t key, uint64_t value) {
    size_t i = Hash(key);
    while (slots_[i].key != 0) i = (i + 1) & (capacity_ - 1);
    slots_[i] = {key, value};
  }
  bool Grow() {
    size_t capacity = capacity_ == 0 ? 64 : capacity_ * 2;
    Slot* old = slots_;
    size_t oldCapacity = capacity_;
    slots_ = new (std::nothrow) Slot[capacity]();
    if (slots_ == nullptr) {
      slots_ = old;
      return false;
    }
    capacity_ = capacity;
    for (size_t i = 0; i < oldCapacity; ++i) {
      if (old[i].key != 0) Place(old[i].key, old[i].value);
    }
    delete[] old;
    return true;
  }

  Slot* slots_ = nullptr;
  size_t capacity_ = 0;
  size_t count_ = 0;
};

}  // namespace

// All state of one search.
struct MatchContext {
  const Pattern* pattern;
  MatchSpan* spans;    // the plain walk writes spans here directly
  int32_t ignoreCase;  // folding only when exactly 1
  const unsigned char* subject;
  bool plain;    // WalkPlain: no failed marks, no log
  bool logging;  // bounded walk of a pattern with group edges
  bool failed;   // memory ran out: the search reports no match
  int64_t steps;

  // The visited record: one bit per (state, position), position-major, set while the pair is on
  // the path and, in the bounded walk, kept once it has failed. Whether a set pair failed or is
  // on the path matters only for the span log, and only failed pairs appear in closes. A short
  // search keeps the record in inlineMarks.
  uint64_t* marks;
  uint64_t inlineMarks[32];
  WorkStack<WalkFrame, 64> frames;
  WorkStack<LogEntry, 16> log;
  PairMap closes;

  ~MatchContext() {
    if (marks != inlineMarks) delete[] marks;
  }
  bool Visited(uint64_t pair) const { return ((marks[pair >> 6] >> (pair & 63)) & 1) != 0; }
  void SetVisited(uint64_t pair) { marks[pair >> 6] |= uint64_t{1} << (pair & 63); }
  void ClearVisited(uint64_t pair) { marks[pair >> 6] &= ~(uint64_t{1} << (pair & 63)); }
};

namespace {

unsigned char FoldAscii(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 0x20) : c;
}

// Step: the position after the character at pos when the consuming edge holds there, else
// kNoMatch. A lead byte right before the NUL is a one-byte character: nothing steps past the NUL.
size_t Step(const MatchContext& context, const PatternEdge& edge, size_t pos) {
  const unsigned char* s = context.subject + pos;
  unsigned char c = s[0];
  if (c == 0) return kNoMatch;
  if (context.pattern->lineEndAnchored == 1 && (c == '\r' || c == '\n')) return kNoMatch;
  bool twoByte = IsLeadByte(c) && s[1] != 0;
  bool holds;
  if (edge.kind == NodeClass) {
    holds = edge.classText != nullptr &&
            ClassContains(edge.classText, reinterpret_cast<const char*>(s)) == 1;
  } else if (IsLeadByte(c)) {
    holds = edge.charLead == c && edge.charTrail == s[1];
  } else if (context.ignoreCase == 1) {
    holds = FoldAscii(edge.charLead) == FoldAscii(c);
  } else {
    holds = edge.charLead == c;
  }
  if (!holds) return kNoMatch;
  return pos + (twoByte ? 2 : 1);
}

bool AcceptsAt(const MatchContext& context, size_t pos) {
  if (context.pattern->lineEndAnchored != 1) return true;
  unsigned char c = context.subject[pos];
  return c == 0 || c == '\r' || c == '\n';
}

void Log(MatchContext& context, int32_t kind, int32_t field, uint64_t value) {
  if (!context.log.Push(LogEntry{kind, field, value, false})) context.failed = true;
}

// RecordSpan: a group edge was taken at pos.
void RecordSpan(MatchContext& context, const PatternEdge& edge, size_t pos) {
  if (edge.group < 0 || edge.group >= context.pattern->groupSlots) return;
  bool isEnd = edge.kind == NodeGroupClose;
  if (context.plain) {
    MatchSpan& span = context.spans[edge.group];
    (isEnd ? span.end : span.start) = reinterpret_cast<const char*>(context.subject + pos);
  } else if (context.logging) {
    Log(context, LogWrite, edge.group * 2 + (isEnd ? 1 : 0), pos);
  }
}

// Leave: the top frame's pair has no edge left to try.
void Leave(MatchContext& context, const WalkFrame& frame) {
  uint64_t pair = frame.position * static_cast<uint64_t>(context.pattern->stateCount) +
                  static_cast<uint64_t>(frame.state);
  if (context.plain) {
    context.ClearVisited(pair);
    return;
  }
  if (context.logging && context.log.Size() > frame.logBegin) {
    uint64_t close = context.log.Size();
    Log(context, LogClose, 0, frame.logBegin);
    if (!context.closes.Insert(pair, close)) context.failed = true;
  }
}

// Enter: the walk arrives at (state, pos). True when that is an accepted end of the match;
// otherwise the pair is entered (pushed) unless it is on the path or has failed before.
bool Enter(MatchContext& context, int32_t state, size_t pos) {
  const Pattern& pattern = *context.pattern;
  if (state == pattern.finalState) return AcceptsAt(context, pos);
  uint64_t pair = pos * static_cast<uint64_t>(pattern.stateCount) + static_cast<uint64_t>(state);
  if (context.Visited(pair)) {
    // On the path (an epsilon cycle) or failed before; a failed pair with span writes replays
    // them.
    uint64_t close = 0;
    if (context.logging && context.closes.Find(pair, &close)) Log(context, LogSkip, 0, close);
    return false;
  }
  context.SetVisited(pair);
  ++context.steps;
  if (!context.frames.Push(WalkFrame{pattern.states[state], pos, context.log.Size(), state})) {
    context.failed = true;
  }
  return false;
}

// MatchFrom: the end of the first match in try order from (state, pos), or kNoMatch.
size_t MatchFrom(MatchContext& context, int32_t state, size_t pos) {
  context.frames.Clear();
  if (Enter(context, state, pos)) return pos;
  while (!context.frames.Empty() && !context.failed) {
    WalkFrame& top = context.frames.Top();
    const PatternEdge* edge = top.next;
    if (edge == nullptr) {
      Leave(context, top);
      context.frames.Pop();
      continue;
    }
    top.next = edge->next;
    size_t to = top.position;
    if (edge->epsilon != 0) {
      if (edge->kind == NodeGroupOpen || edge->kind == NodeGroupClose) {
        RecordSpan(context, *edge, to);
      }
    } else {
      to = Step(context, *edge, to);
      if (to == kNoMatch) continue;
    }
    if (Enter(context, edge->target, to)) return to;
  }
  // Leave the on-path marks of an abandoned walk as they are: the search ends with it.
  return kNoMatch;
}

// ResolveSpans: the last write of every group field in the stretch of the log from begin on, in
// the order the plain walk would have made them: scanning backwards, a skip stands for the
// stretch it refers to. A stretch read once need not be read again, because every field still
// open then is still open now; so each log entry is read at most once.
bool ResolveSpans(MatchContext& context, uint64_t begin, MatchSpan* spans) {
  struct Range {
    uint64_t next;  // one past the entry to read next
    uint64_t low;
  };
  int64_t open = 2 * (static_cast<int64_t>(context.pattern->groupSlots) - 1);
  WorkStack<Range> ranges;
  if (!ranges.Push({context.log.Size(), begin})) return false;
  while (!ranges.Empty() && open > 0) {
    Range& range = ranges.Top();
    if (range.next <= range.low) {
      ranges.Pop();
      continue;
    }
    LogEntry& entry = context.log[--range.next];
    if (entry.kind == LogWrite) {
      int32_t group = entry.field / 2;
      if (group == 0) continue;  // slot 0 is the whole match, written last
      const char*& field = (entry.field & 1) != 0 ? spans[group].end : spans[group].start;
      if (field == nullptr) {
        field = reinterpret_cast<const char*>(context.subject + entry.value);
        --open;
      }
    } else if (entry.kind == LogClose) {
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

// NextStart: the start position after pos: the next byte, or for a pattern anchored at line
// starts the first byte of the next non-empty line.
size_t NextStart(const MatchContext& context, size_t pos) {
  const unsigned char* s = context.subject;
  if (context.pattern->lineStartAnchored != 1) return pos + 1;
  while (s[pos] != 0 && s[pos] != '\r' && s[pos] != '\n') ++pos;
  while (s[pos] == '\r' || s[pos] == '\n') ++pos;
  return pos;
}

bool PrepareMarks(MatchContext& context, size_t length) {
  uint64_t pairs = static_cast<uint64_t>(context.pattern->stateCount) * (uint64_t{length} + 1);
  if (pairs > kMaxPairs) return false;
  uint64_t words = (pairs + 63) / 64;
  if (words <= sizeof(context.inlineMarks) / sizeof(uint64_t)) {
    context.marks = context.inlineMarks;
    std::memset(context.inlineMarks, 0, sizeof(context.inlineMarks));
    return true;
  }
  context.marks = new (std::nothrow) uint64_t[static_cast<size_t>(words)]();
  return context.marks != nullptr;
}

}  // namespace

int32_t SearchWith(const Pattern* pattern, const char* subject, MatchSpan** spans,
                   int32_t ignoreCase, SearchWalk walk, SearchStats* stats) {
  if (stats != nullptr) stats->steps = 0;
  if (pattern == nullptr || subject == nullptr || spans == nullptr || subject[0] == '\0') {
    return 0;
  }
  MatchContext context;
  context.pattern = pattern;
  context.ignoreCase = ignoreCase;
  context.subject = reinterpret_cast<const unsigned char*>(subject);
  context.plain = walk == WalkPlain;
  context.logging = !context.plain && pattern->hasGroupEdges;
  context.failed = false;
  context.steps = 0;
  context.marks = nullptr;
  if (!PrepareMarks(context, std::strlen(subject))) return 0;
  int32_t slots = pattern->groupSlots;
  auto* array = new (std::nothrow) MatchSpan[static_cast<size_t>(slots)];
  if (array == nullptr) return 0;
  context.spans = array;
  size_t start = 0;
  for (;;) {
    for (int32_t i = 0; i < slots; ++i) array[i] = MatchSpan{nullptr, nullptr};
    uint64_t section = context.log.Size();
    size_t end = MatchFrom(context, pattern->startState, start);
    if (context.failed) break;
    if (end != kNoMatch) {
      if (context.logging && !ResolveSpans(context, section, array)) break;
      array[0] = MatchSpan{subject + start, subject + end};
      *spans = array;
      if (stats != nullptr) stats->steps = context.steps;
      return slots;
    }
    start = NextStart(context, start);
    if (subject[start] == '\0') break;
  }
  if (stats != nullptr) stats->steps = context.steps;
  delete[] array;
  return 0;
}

int32_t SearchPattern(const Pattern* pattern, const char* subject, MatchSpan** spans,
                      int32_t ignoreCase) {
  return SearchWith(pattern, subject, spans, ignoreCase, WalkBounded, nullptr);
}

void FreeSpans(MatchSpan* spans) { delete[] spans; }

int32_t ClassContains(const char* text, const char* s) {
  auto t = reinterpret_cast<const unsigned char*>(text);
  auto c = reinterpret_cast<const unsigned char*>(s);
  bool negated = t[0] == '^';
  if (negated) ++t;
  int32_t found = 0;
  while (found == 0 && t[0] != 0) {
    if (IsLeadByte(t[0])) {
      if (t[1] == 0) {
        // A lone lead byte ends the text: a two-byte literal whose second byte is the NUL.
        found = (c[0] == t[0] && c[1] == 0) ? 1 : 0;
        break;
      }
      if (t[2] == '-' && IsLeadByte(t[3])) {
        // Lead and trail bytes each lie between their own bounds.
        found = (t[0] <= c[0] && c[0] <= t[3] && t[1] <= c[1] && c[1] <= t[4]) ? 1 : 0;
        if (t[4] == 0) break;
        t += 5;
      } else {
        found = (c[0] == t[0] && c[1] == t[1]) ? 1 : 0;
        t += 2;
      }
    } else if (t[1] == '-' && t[2] != 0) {
      found = (t[0] <= c[0] && c[0] <= t[2]) ? 1 : 0;
      t += 3;
    } else if (t[0] == '\\' && t[1] != 0) {
      // The expanded escapes are plain class texts, so this nests one level at most.
      char expanded[kEscapeOutputBytes];
      t = reinterpret_cast<const unsigned char*>(
          DecodeEscape(ExpandClassEscapes, reinterpret_cast<const char*>(t), expanded));
      found = ClassContains(expanded, s);
    } else {
      found = c[0] == t[0] ? 1 : 0;
      ++t;
    }
  }
  return negated ? 1 - found : found;
}

}  // namespace mimoza
