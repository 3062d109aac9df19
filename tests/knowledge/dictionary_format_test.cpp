// tests/knowledge/dictionary_format_test.cpp: the one reader of Dictionary.txt: its element
// tables, walks and places on the format's odd cases (golden dumps), and the same tags and key
// texts whether a text is read whole or fed in blocks of any size.
#include "knowledge/dictionary_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/knowledge/test_support.h"

namespace mimoza {
namespace {

std::string Offset(size_t at) { return at == kNoOffset ? "-" : std::to_string(at); }

// Dump: the elements of a stored text, read folded as every lookup reads it:
//   K open,text,close (= for an exact tag) for every key tag;
//   A open,close then what the walk does after it (> the next answer, | the next key, . the
//     end), its owner's walk, the walks that pool it, its stored line:column and stored extent;
//   N for the key tag after which nothing is read;
//   W key:begin-end/ownEnd for every key of the chain.
std::string Dump(const std::string& stored) {
  const StoredText text(stored);
  DictionaryElements elements;
  EXPECT_TRUE(elements.Read(text.Text(), text.Length()) && elements.Walk());
  std::string dump;
  for (const KeyElement& key : elements.Keys()) {
    dump += "K" + Offset(key.open) + "," + Offset(key.text) + "," + Offset(key.close) +
            (key.exact ? "= " : " ");
  }
  for (size_t i = 0; i < elements.Answers().size(); ++i) {
    const AnswerElement& answer = elements.Answers()[i];
    const char kSteps[] = {'>', '|', '.'};
    dump += "A" + Offset(answer.open) + "," + Offset(answer.close) + kSteps[elements.StepAfter(i)] +
            " o" + Offset(elements.OwnerOf(i)) + " p";
    for (const size_t w : elements.PoolingWalks(i)) dump += std::to_string(w);
    const TextPlace place = text.Place(text.Stored(answer.open));
    const StoredExtent extent = text.ExtentWithLine(answer.open, elements.ElementEnd(answer));
    dump += " @" + std::to_string(place.line) + ":" + std::to_string(place.column) + "[" +
            std::to_string(extent.begin) + "," + std::to_string(extent.end) + ") ";
  }
  if (elements.NeverRead() != kNoOffset) dump += "N" + Offset(elements.NeverRead()) + " ";
  for (const EntryWalk& walk : elements.Walks()) {
    dump += "W" + std::to_string(walk.key) + ":" + Offset(walk.begin) + "-" + Offset(walk.end) +
            "/" + Offset(walk.ownEnd) + " ";
  }
  if (!dump.empty()) dump.pop_back();
  return dump;
}

TEST(DictionaryFormat, ElementsOfTheOddCases) {
  const struct {
    const char* text;
    const char* elements;
  } kCases[] = {
      {"", ""},
      // Two entries on lines of their own: each answer's extent is its whole line.
      {"<KEY>k</KEY>\r\n<ANS>1</ANS>\r\n<KEY>j</KEY>\r\n<ANS>2</ANS>\r\n",
       "K0,5,6= K26,31,32= A13,19| o0 p0 @2:1[14,28) A39,45. o1 p1 @4:1[42,56) W0:0-1/1 W1:1-2/2"},
      // A key without answers pools those of the next entry.
      {"<KEY>a</KEY><KEY>b</KEY><ANS>1</ANS>",
       "K0,5,6= K12,17,18= A24,30. o1 p01 @1:25[24,36) W0:0-1/0 W1:0-1/1"},
      // An answer opened inside an answer is an answer of its own, and so is what follows it.
      {"<KEY>k</KEY><ANS>x<ANS>y</ANS><ANS>z</ANS>",
       "K0,5,6= A12,24> o0 p0 @1:13[12,30) A18,24> o0 p0 @1:19[18,30) A30,36. o0 p0 "
       "@1:31[30,42) W0:0-3/3"},
      // A key tag with more bytes opens a key but ends no answers; one inside a key's text opens
      // an element that the chain never reaches.
      {"<KEY>k</KEY><ANS>1</ANS><KEY x>j</KEY><ANS>2</ANS>",
       "K0,5,6= K24,31,32 A12,18> o0 p0 @1:13[12,24) A38,44. o1 p01 @1:39[38,50) W0:0-2/1 "
       "W1:1-2/2"},
      {"<KEY>a<KEY>b</KEY><ANS>1</ANS>", "K0,5,12= K6,11,12= A18,24. o0 p0 @1:19[18,30) W0:0-1/1"},
      // Tags that never close: an answer runs to the end, a key tag ends what is read (a cut one
      // too).
      {"<KEY>k</KEY><ANS>1</ANS><ANS>2",
       "K0,5,6= A12,18> o0 p0 @1:13[12,24) A24,-. o0 p0 "
       "@1:25[24,30) W0:0-2/2"},
      {"<KEY>k</KEY><ANS>1</ANS><KEY>j",
       "K0,5,6= K24,29,-= A12,18. o0 p0 @1:13[12,24) N24 W0:0-1/1"},
      {"<KEY>k</KEY><ANS>1</ANS>\n<KEY", "K0,5,6= K25,-,- A12,18. o0 p0 @1:13[12,24) N25 W0:0-1/1"},
      // An answer before every key belongs to none.
      {"<ANS>0</ANS>\n<KEY>a</KEY>\n<ANS>1</ANS>",
       "K13,18,19= A0,6| o- p @1:1[0,13) A26,32. o0 p0 @3:1[26,38) W0:1-2/2"},
      // Columns count characters as stored; a 0x1A byte is dropped from the text a lookup reads.
      {"\x82\xa0\x1a<KEY>k</KEY><ANS>1</ANS>", "K2,7,8= A14,20. o0 p0 @1:15[15,27) W0:0-1/1"},
  };
  for (const auto& c : kCases) EXPECT_EQ(Dump(c.text), c.elements) << c.text;
}

// EventDump: what a reader tells, one event after the other.
class EventDump final : public ElementSink {
 public:
  bool Tag(DictionaryTag tag, uint64_t offset, bool exact) override {
    dump += std::string(TagText(tag)) + std::to_string(offset) + (exact ? "= " : " ");
    return true;
  }
  bool KeyText(uint64_t key, uint64_t start, const char* text, size_t length) override {
    dump += "text" + std::to_string(key) + "@" + std::to_string(start) + "'" +
            std::string(text, length) + "' ";
    return true;
  }
  void KeyClosed(uint64_t key, uint64_t close) override {
    dump += "close" + std::to_string(key) + "@" + std::to_string(close) + " ";
  }
  std::string dump;
};

// Fed in blocks of any size, the reader tells what it tells of the whole text: tags cut by a
// block's end, key texts over several blocks, keys whose ">" comes blocks later.
TEST(DictionaryFormat, BlocksTellWhatTheWholeTextTells) {
  const std::string texts[] = {
      "<KEY>k</KEY>\r\n<ANS>1</ANS>\r\n<KEY x\r\n>a\r\nb</KEY><ANS>2</ANS>",
      "<KEY>a<KEY>b" + std::string(1, '\0') + "c</KEY><ANS>x<ANS>y</ANS></KEY></ANS><KE",
      "<KEY" + std::string(100, ' ') + ">" + std::string(50, 'k') + "</KEY><KEY>j",
  };
  for (const std::string& text : texts) {
    EventDump whole;
    ASSERT_TRUE(DictionaryReader::ReadWhole(text.data(), text.size(), whole, true));
    for (size_t block = 1; block <= text.size(); block += block < 8 ? 1 : 13) {
      EventDump fed;
      DictionaryReader reader(fed, 0, true);
      for (size_t at = 0; at < text.size(); at += block) {
        const size_t count = std::min(block, text.size() - at);
        char* room = reader.Room(count);
        ASSERT_NE(room, nullptr);
        std::copy_n(text.data() + at, count, room);
        ASSERT_TRUE(reader.Feed(count, at + count == text.size()));
      }
      EXPECT_EQ(fed.dump, whole.dump) << text << " in blocks of " << block;
    }
  }
  // The texts are those a lookup reads: folded, cut at a NUL.
  EventDump first;
  ASSERT_TRUE(DictionaryReader::ReadWhole(texts[1].data(), texts[1].size(), first, true));
  EXPECT_EQ(first.dump,
            "<KEY>0= <KEY>6= </KEY>14 text0@5'a<KEY>b' close0@14 text1@11'b' close1@14 <ANS>20 "
            "<ANS>26 </ANS>32 </KEY>38 </ANS>44 ");
}

}  // namespace
}  // namespace mimoza
