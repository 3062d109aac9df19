// tests/pattern/dump.cpp: text forms for the pattern tests' golden comparisons.
#include "dump.h"

#include <cstdio>
#include <vector>

namespace mimoza {
namespace {

const char* kTokenNames[] = {"Char",      "Open",       "Close", "LazyStar",  "LazyPlus",
                             "LazyOpt",   "LazyRepeat", "Star",  "Plus",      "Opt",
                             "Brace",     "Repeat",     "Dot",   "ClassOpen", "Class",
                             "LineStart", "LineEnd",    "Bar",   "Escape",    "End"};

std::string CharText(uint8_t lead, uint8_t trail) {
  std::string bytes(1, static_cast<char>(lead));
  if (trail != 0) bytes += static_cast<char>(trail);
  return DumpBytes(bytes);
}

void DumpNode(const PatternNode* root, std::string& out) {
  // Iterative so that the stack-depth tests can dump deep trees too.
  struct Item {
    const PatternNode* node;
    const char* text;  // non-null: emit this text instead
  };
  std::vector<Item> work{{root, nullptr}};
  while (!work.empty()) {
    Item item = work.back();
    work.pop_back();
    if (item.text != nullptr) {
      out += item.text;
      continue;
    }
    const PatternNode* n = item.node;
    if (n == nullptr) {
      out += "-";
      continue;
    }
    switch (n->kind) {
      case NodeChar:
        out += CharText(n->charLead, n->charTrail);
        break;
      case NodeLineStart:
        out += "^";
        break;
      case NodeLineEnd:
        out += "$";
        break;
      case NodeClass:
        out += "[" + DumpBytes(n->classText) + "]";
        break;
      case NodeEmpty:
        out += "Empty";
        break;
      case NodeGroupOpen:
        out += "Open" + std::to_string(n->group);
        break;
      case NodeGroupClose:
        out += "Close" + std::to_string(n->group);
        break;
      case NodeStar:
      case NodeLazyStar:
        out += n->kind == NodeStar ? "Star(" : "LazyStar(";
        work.push_back({nullptr, ")"});
        work.push_back({n->left, nullptr});
        break;
      default:
        out += n->kind == NodeConcat ? "Concat(" : "Alt(";
        work.push_back({nullptr, ")"});
        work.push_back({n->right, nullptr});
        work.push_back({nullptr, ","});
        work.push_back({n->left, nullptr});
        break;
    }
  }
}

std::string Offset(const char* at, const char* subject) {
  return at == nullptr ? "?" : std::to_string(at - subject);
}

}  // namespace

std::string DumpBytes(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof(hex), "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

std::string DumpTokens(const char* text) {
  PatternLexer lexer;
  lexer.cursor = text;
  std::string out;
  for (int guard = 0; guard < 1000; ++guard) {
    NextToken(lexer);
    if (!out.empty()) out += " ";
    out += kTokenNames[lexer.token];
    switch (lexer.token) {
      case TokChar:
        out += "(" + CharText(lexer.charLead, lexer.charTrail) + ")";
        break;
      case TokClass:
        out += "(" + DumpBytes(lexer.classText) + ")";
        break;
      case TokRepeat:
      case TokLazyRepeat:
        out += "(" + std::to_string(lexer.repeatMin) + "," + std::to_string(lexer.repeatMax) + ")";
        break;
      default:
        break;
    }
    if (lexer.token == TokEnd) break;
  }
  return out;
}

std::string DumpTree(const char* text, int32_t* groupCount) {
  PatternLexer lexer;
  lexer.cursor = text;
  NextToken(lexer);
  PatternNode* root = ParseAlternation(lexer);
  std::string out;
  if (lexer.failed) {
    out = "failed";
  } else {
    DumpNode(root, out);
  }
  if (groupCount != nullptr) *groupCount = lexer.groupCount;
  FreeTree(lexer, root);
  return out;
}

std::string DumpPattern(const Pattern* pattern) {
  if (pattern == nullptr) return "null";
  std::string out;
  for (int32_t state = 0; state < pattern->stateCount; ++state) {
    if (pattern->states[state] == nullptr) continue;
    if (!out.empty()) out += " | ";
    out += std::to_string(state) + ":";
    for (const PatternEdge* e = pattern->states[state]; e != nullptr; e = e->next) {
      out += " ";
      switch (e->kind) {
        case NodeChar:
          out += "'" + CharText(e->charLead, e->charTrail) + "'";
          break;
        case NodeClass:
          out += "[" + DumpBytes(e->classText) + "]";
          break;
        case NodeGroupOpen:
          out += "(" + std::to_string(e->group);
          break;
        case NodeGroupClose:
          out += ")" + std::to_string(e->group);
          break;
        case NodeLineStart:
          out += "^";
          break;
        case NodeLineEnd:
          out += "$";
          break;
        default:
          out += "e";
          break;
      }
      out += "->" + std::to_string(e->target);
    }
  }
  out += " #" + std::to_string(pattern->stateCount);
  if (pattern->lineStartAnchored) out += " ^";
  if (pattern->lineEndAnchored) out += " $";
  return out;
}

std::string DumpSearch(const char* pattern, const char* subject, int32_t ignoreCase,
                       SearchWalk walk) {
  Pattern* compiled = CompilePattern(pattern);
  MatchSpan* spans = nullptr;
  int32_t slots = SearchWith(compiled, subject, &spans, ignoreCase, walk, nullptr);
  std::string out = "no";
  if (slots > 0) {
    out = "match " + Offset(spans[0].start, subject) + "-" + Offset(spans[0].end, subject);
    for (int32_t g = 1; g < slots; ++g) {
      out += " g" + std::to_string(g) + "=" + Offset(spans[g].start, subject) + "-" +
             Offset(spans[g].end, subject);
    }
  }
  FreeSpans(spans);
  FreePattern(compiled);
  return out;
}

}  // namespace mimoza
