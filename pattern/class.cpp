// pattern/class.cpp: class text -> the items it is made of -> membership, byte sets, lists.
// Leaves this file: ClassContains, ClassByteSet, ClassCharacters. ReadClassItem is private.
// Tested by tests/pattern/class_test.cpp.
#include "pattern/class.h"

#include "pattern/lexer.h"
#include "pattern/limits.h"
#include "pattern/pattern.h"

namespace mimoza {
namespace {

enum ClassItemKind : int8_t {
  ItemByte,       // one single-byte character: low
  ItemByteRange,  // the first byte of a character from low to high
  ItemWide,       // a two-byte character: low, lowTrail (a lone lead byte ends the text: trail 0)
  ItemWideRange,  // lead bytes low..high and trail bytes lowTrail..highTrail, each on its own
  ItemEscape,     // a nested class text, decoded into the caller's buffer
};

struct ClassItem {
  ClassItemKind kind;
  unsigned char low;
  unsigned char high;
  unsigned char lowTrail;
  unsigned char highTrail;
};

// ReadClassItem: the item at t (not at the text's NUL) and the position after it, recognised in
// this order: a two-byte range, a two-byte character, a single-byte range, an escape, a single
// byte. An escape is decoded into escaped (kEscapeOutputBytes bytes).
const unsigned char* ReadClassItem(const unsigned char* t, ClassItem* item, char* escaped) {
  if (IsLeadByte(t[0])) {
    if (t[1] != 0 && t[2] == '-' && IsLeadByte(t[3])) {
      *item = ClassItem{ItemWideRange, t[0], t[3], t[1], t[4]};
      return t[4] == 0 ? t + 4 : t + 5;  // a range cut off by the NUL compares with 0 and ends
    }
    *item = ClassItem{ItemWide, t[0], t[0], t[1], t[1]};
    return t[1] == 0 ? t + 1 : t + 2;  // a lone lead byte is a two-byte character ending in NUL
  }
  if (t[1] == '-' && t[2] != 0) {
    *item = ClassItem{ItemByteRange, t[0], t[2], 0, 0};  // t[2] is one byte, even a lead byte
    return t + 3;
  }
  if (t[0] == '\\' && t[1] != 0) {
    *item = ClassItem{ItemEscape, 0, 0, 0, 0};
    return reinterpret_cast<const unsigned char*>(
        DecodeEscape(ExpandClassEscapes, reinterpret_cast<const char*>(t), escaped));
  }
  *item = ClassItem{ItemByte, t[0], t[0], 0, 0};
  return t + 1;
}

// SetBits: sets the bits low..high, whole bytes at a time (the class of "." spans 255 of them).
void SetBits(uint8_t* set, unsigned low, unsigned high) {
  while (low <= high && (low & 7) != 0) {
    set[low >> 3] = static_cast<uint8_t>(set[low >> 3] | 1u << (low & 7));
    ++low;
  }
  for (; low + 7 <= high; low += 8) set[low >> 3] = 0xFF;
  for (; low <= high; ++low) set[low >> 3] = static_cast<uint8_t>(set[low >> 3] | 1u << (low & 7));
}

}  // namespace

int32_t ClassContains(const char* text, const char* s) {
  auto t = reinterpret_cast<const unsigned char*>(text);
  auto c = reinterpret_cast<const unsigned char*>(s);
  const bool negated = t[0] == '^';
  if (negated) ++t;
  int32_t found = 0;
  while (found == 0 && t[0] != 0) {
    ClassItem item{};
    char escaped[kEscapeOutputBytes];
    t = ReadClassItem(t, &item, escaped);
    switch (item.kind) {
      case ItemByte:
      case ItemByteRange:
        found = item.low <= c[0] && c[0] <= item.high ? 1 : 0;
        break;
      case ItemWide:
      case ItemWideRange:
        // Lead and trail bytes each lie between their own bounds.
        found =
            item.low <= c[0] && c[0] <= item.high && item.lowTrail <= c[1] && c[1] <= item.highTrail
                ? 1
                : 0;
        break;
      case ItemEscape:
        // The expanded escapes are plain class texts, so this nests one level at most.
        found = ClassContains(escaped, s);
        break;
    }
  }
  return negated ? 1 - found : found;
}

bool ClassByteSet(const char* text, uint8_t* set) {
  auto t = reinterpret_cast<const unsigned char*>(text);
  for (const unsigned char* b = t; *b != 0; ++b) {
    if (IsLeadByte(*b)) return false;
  }
  uint8_t own[32] = {};
  const bool negated = t[0] == '^';
  if (negated) ++t;
  while (t[0] != 0) {
    ClassItem item{};
    char escaped[kEscapeOutputBytes];
    t = ReadClassItem(t, &item, escaped);
    if (item.kind == ItemEscape) {
      uint8_t nested[32];
      if (!ClassByteSet(escaped, nested)) return false;
      for (int i = 0; i < 32; ++i) own[i] = static_cast<uint8_t>(own[i] | nested[i]);
    } else {
      SetBits(own, item.low, item.high);  // no lead byte: every item is a byte or a byte range
    }
  }
  for (int i = 0; i < 32; ++i) set[i] = static_cast<uint8_t>(negated ? ~own[i] : own[i]);
  return true;
}

int32_t ClassCharacters(const char* text, uint8_t (*chars)[2]) {
  auto t = reinterpret_cast<const unsigned char*>(text);
  if (t[0] == '^') return -1;
  int32_t count = 0;
  // Add: one character, once; false when the list is full.
  auto add = [&](unsigned char lead, unsigned char trail) {
    for (int32_t i = 0; i < count; ++i) {
      if (chars[i][0] == lead && chars[i][1] == trail) return true;
    }
    if (count == kMaxClassCharacters) return false;
    chars[count][0] = lead;
    chars[count][1] = trail;
    ++count;
    return true;
  };
  while (t[0] != 0) {
    ClassItem item{};
    char escaped[kEscapeOutputBytes];
    t = ReadClassItem(t, &item, escaped);
    switch (item.kind) {
      case ItemByte:
      case ItemByteRange:
        // A lead byte in a byte item matches every two-byte character it leads.
        for (unsigned c = item.low; c <= item.high; ++c) {
          if (IsLeadByte(static_cast<unsigned char>(c)) || !add(static_cast<unsigned char>(c), 0)) {
            return -1;
          }
        }
        break;
      case ItemWide:
        // A lone lead byte matches only at the subject's end: no needle says that.
        if (item.lowTrail == 0 || !add(item.low, item.lowTrail)) return -1;
        break;
      case ItemWideRange:
      case ItemEscape:
        // A two-byte range also contains single bytes between its lead bounds; the escapes
        // expand to ranges and negations. Neither is worth listing.
        return -1;
    }
  }
  return count;
}

}  // namespace mimoza
