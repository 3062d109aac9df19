// pattern/parser.cpp: tokens -> syntax tree (PatternNode), quantifiers and counted repeats
// expanded into Star, LazyStar, Alt, Concat and Empty.
// Leaves this file: ParsePattern, ParseAlternation, ParseSequence, ParseQuantified, ParseAtom,
// NewNode, CopyTree, FreeTree. Tested by tests/pattern/parser_test.cpp.
//
// Nothing here recurses: group nesting is an explicit stack of open groups and the tree walks
// use WorkStack, so neither a long pattern nor deep nesting can exhaust the thread's stack.
#include "pattern/parser.h"

#include "pattern/lexer.h"

namespace mimoza {
namespace {

// One open group (or the whole pattern, at the bottom of the stack).
struct OpenGroup {
  PatternNode* alternation;  // the alternatives finished so far
  PatternNode* sequence;     // the sequence being read
  int32_t group;             // its number; 0 for the whole pattern
  bool hasAlternation;
  bool hasSequence;
};

bool EndsSequence(PatternToken token) {
  return token == TokBar || token == TokGroupClose || token == TokEnd;
}

// Append: sequence = Concat(sequence, item), or item for the first one.
void Append(PatternLexer& lexer, PatternNode** sequence, bool* started, PatternNode* item) {
  *sequence = *started ? NewNode(lexer, NodeConcat, *sequence, item) : item;
  *started = true;
}

// EndAlternative: folds the finished sequence into the group's alternation; the alternatives
// nest so that the earlier one is always the preferred (right) child.
void EndAlternative(PatternLexer& lexer, OpenGroup& open) {
  PatternNode* sequence =
      open.hasSequence ? open.sequence : NewNode(lexer, NodeEmpty, nullptr, nullptr);
  open.alternation =
      open.hasAlternation ? NewNode(lexer, NodeAlt, sequence, open.alternation) : sequence;
  open.hasAlternation = true;
  open.sequence = nullptr;
  open.hasSequence = false;
}

PatternNode* Marker(PatternLexer& lexer, NodeKind kind, int32_t group) {
  PatternNode* node = NewNode(lexer, kind, nullptr, nullptr);
  if (node != nullptr) node->group = group;
  return node;
}

// ExpandRepeat: atom{min,max} as copies of the atom; max 0 means no upper bound.
PatternNode* ExpandRepeat(PatternLexer& lexer, PatternNode* atom, int32_t min, int32_t max,
                          bool lazy) {
  NodeKind star = lazy ? NodeLazyStar : NodeStar;
  auto optional = [&](PatternNode* node) {
    PatternNode* empty = NewNode(lexer, NodeEmpty, nullptr, nullptr);
    return lazy ? NewNode(lexer, NodeAlt, node, empty) : NewNode(lexer, NodeAlt, empty, node);
  };
  PatternNode* tail = max == 0 ? NewNode(lexer, star, CopyTree(lexer, atom), nullptr)
                               : NewNode(lexer, NodeEmpty, nullptr, nullptr);
  // Each step adds nodes, so the size bound stops even a count of 2^31 - 1 early.
  for (int32_t i = 0; max > min && i < max - min && !lexer.failed; ++i) {
    tail = NewNode(lexer, NodeConcat, tail, optional(CopyTree(lexer, atom)));
  }
  for (int32_t i = 0; i < min && !lexer.failed; ++i) {
    tail = NewNode(lexer, NodeConcat, CopyTree(lexer, atom), tail);
  }
  if (min == 0) tail = optional(tail);
  FreeTree(lexer, atom);
  return tail;
}

// Abandon: releases what the open groups hold after a failure.
void Abandon(PatternLexer& lexer, WorkStack<OpenGroup>& open) {
  while (!open.Empty()) {
    OpenGroup group = open.Pop();
    FreeTree(lexer, group.alternation);
    FreeTree(lexer, group.sequence);
  }
}

}  // namespace

PatternNode* NewNode(PatternLexer& lexer, NodeKind kind, PatternNode* left, PatternNode* right) {
  PatternNode* node = nullptr;
  if (!lexer.failed && lexer.liveNodes < kMaxPatternNodes &&
      lexer.meter.Charge(kCompileNodeSteps)) {
    if (lexer.freeNodes != nullptr) {
      node = lexer.freeNodes;
      lexer.freeNodes = node->left;
    } else {
      node = static_cast<PatternNode*>(lexer.arena.Allocate(sizeof(PatternNode)));
    }
  }
  if (node == nullptr ||
      !lexer.meter.ChargeGrowth(lexer.arena.HeapBytes(), &lexer.treeBytesCharged)) {
    lexer.failed = true;
    FreeTree(lexer, left);
    FreeTree(lexer, right);
    return nullptr;
  }
  ++lexer.liveNodes;
  *node = PatternNode{kind, 0, 0, 0, left, right, nullptr};
  return node;
}

PatternNode* CopyTree(PatternLexer& lexer, const PatternNode* node) {
  struct Copy {
    const PatternNode* from;
    PatternNode** to;
  };
  PatternNode* root = nullptr;
  WorkStack<Copy> work;
  work.Push({node, &root});
  while (!work.Empty()) {
    Copy copy = work.Pop();
    if (copy.from == nullptr) continue;  // the slot already holds null
    PatternNode* made = NewNode(lexer, copy.from->kind, nullptr, nullptr);
    *copy.to = made;
    if (made == nullptr) break;
    made->charLead = copy.from->charLead;
    made->charTrail = copy.from->charTrail;
    made->group = copy.from->group;  // copied markers keep their group
    if (copy.from->classText != nullptr) {
      made->classText = DupText(lexer.arena, copy.from->classText);
      if (made->classText == nullptr) lexer.failed = true;
    }
    if (!work.Push({copy.from->left, &made->left}) ||
        !work.Push({copy.from->right, &made->right})) {
      lexer.failed = true;
    }
  }
  if (lexer.failed) {
    FreeTree(lexer, root);  // partly built: every slot not yet reached is null
    return nullptr;
  }
  return root;
}

void FreeTree(PatternLexer& lexer, PatternNode* node) {
  // Rotating each left child up until there is none visits every node without a stack; a node
  // with no left child goes to the free list and the walk moves to its right child.
  while (node != nullptr) {
    if (PatternNode* left = node->left) {
      node->left = left->right;
      left->right = node;
      node = left;
      continue;
    }
    PatternNode* right = node->right;
    node->left = lexer.freeNodes;
    lexer.freeNodes = node;
    --lexer.liveNodes;
    node = right;
  }
}

bool ParsePattern(PatternLexer& lexer, const char* text) {
  lexer.cursor = text;
  NextToken(lexer);
  lexer.root = ParseAlternation(lexer);
  return !lexer.failed;
}

// atom -> char | class | "^" | "$" (a group is opened by ParseAlternation itself)
PatternNode* ParseAtom(PatternLexer& lexer) {
  PatternNode* node = nullptr;
  switch (lexer.token) {
    case TokChar:
      node = NewNode(lexer, NodeChar, nullptr, nullptr);
      if (node != nullptr) {
        node->charLead = lexer.charLead;
        node->charTrail = lexer.charTrail;
      }
      break;
    case TokClass:
      node = NewNode(lexer, NodeClass, nullptr, nullptr);
      if (node != nullptr) {
        node->classText = DupText(lexer.arena, lexer.classText);
        if (node->classText == nullptr) lexer.failed = true;
      }
      break;
    case TokLineStart:
      node = NewNode(lexer, NodeLineStart, nullptr, nullptr);
      lexer.sawAnchor = true;
      break;
    case TokLineEnd:
      node = NewNode(lexer, NodeLineEnd, nullptr, nullptr);
      lexer.sawAnchor = true;
      break;
    default:
      return nullptr;
  }
  NextToken(lexer);
  return node;
}

// quantified -> atom ("*" | "*?" | "+" | "+?" | "?" | "??" | "{m,n}" | "{m,n}?")?
PatternNode* ParseQuantified(PatternLexer& lexer, PatternNode* atom) {
  PatternNode* result = nullptr;
  switch (lexer.token) {
    case TokStar:
      result = NewNode(lexer, NodeStar, atom, nullptr);
      break;
    case TokLazyStar:
      result = NewNode(lexer, NodeLazyStar, atom, nullptr);
      break;
    case TokPlus:
      result = NewNode(lexer, NodeConcat, atom,
                       NewNode(lexer, NodeStar, CopyTree(lexer, atom), nullptr));
      break;
    case TokLazyPlus:
      result = NewNode(lexer, NodeConcat, atom,
                       NewNode(lexer, NodeLazyStar, CopyTree(lexer, atom), nullptr));
      break;
    case TokOptional:
      result = NewNode(lexer, NodeAlt, NewNode(lexer, NodeEmpty, nullptr, nullptr), atom);
      break;
    case TokLazyOptional:
      result = NewNode(lexer, NodeAlt, atom, NewNode(lexer, NodeEmpty, nullptr, nullptr));
      break;
    case TokRepeat:
    case TokLazyRepeat:
      result =
          ExpandRepeat(lexer, atom, lexer.repeatMin, lexer.repeatMax, lexer.token == TokLazyRepeat);
      break;
    default:
      return atom;
  }
  NextToken(lexer);
  return result;
}

// sequence -> quantified* (up to "|", ")" or the end; a "(" hands back to ParseAlternation)
void ParseSequence(PatternLexer& lexer, PatternNode** sequence, bool* started) {
  while (!EndsSequence(lexer.token) && lexer.token != TokGroupOpen && !lexer.failed) {
    PatternNode* atom = ParseAtom(lexer);
    Append(lexer, sequence, started, ParseQuantified(lexer, atom));
  }
}

// alternation -> sequence ("|" sequence)*, where a "(" inside a sequence opens a nested
// alternation that runs to its ")" (or the end of the text).
PatternNode* ParseAlternation(PatternLexer& lexer) {
  WorkStack<OpenGroup> open;
  if (!open.Push(OpenGroup{})) {
    lexer.failed = true;
    return nullptr;
  }
  for (;;) {
    OpenGroup& top = open.Top();
    ParseSequence(lexer, &top.sequence, &top.hasSequence);
    if (lexer.failed) break;
    if (lexer.token == TokGroupOpen) {
      // Each open group ends up as at least four nodes, so nesting cannot outgrow the node bound.
      if (open.Size() > kMaxPatternNodes / 4 || lexer.groupCount == INT32_MAX ||
          !open.Push(OpenGroup{nullptr, nullptr, ++lexer.groupCount, false, false})) {
        lexer.failed = true;
        break;
      }
      NextToken(lexer);
      continue;
    }
    EndAlternative(lexer, top);
    if (lexer.token == TokBar) {
      NextToken(lexer);
      continue;
    }
    if (open.Size() == 1) {
      if (lexer.failed) break;
      return top.alternation;  // a ")" that closes no group ends the pattern
    }
    // ")" or the end of the text closes the group: Concat(Open n, Concat(X, Close n)).
    OpenGroup closed = open.Pop();
    PatternNode* opener = Marker(lexer, NodeGroupOpen, closed.group);
    PatternNode* inner =
        NewNode(lexer, NodeConcat, closed.alternation, Marker(lexer, NodeGroupClose, closed.group));
    PatternNode* group = NewNode(lexer, NodeConcat, opener, inner);
    NextToken(lexer);  // consumes the ")", or gives TokEnd again
    OpenGroup& parent = open.Top();
    Append(lexer, &parent.sequence, &parent.hasSequence, ParseQuantified(lexer, group));
  }
  Abandon(lexer, open);
  return nullptr;
}

}  // namespace mimoza
