// knowledge/reserved_keys.cpp: the reserved dictionary keys and their built-in defaults.
// Leaves this file: kTitleKey, kOfferLearnKey, kAskAnswerKey, kLearnedKey, kOfferAddKey,
// kYesListKey, kNoListKey, kFormerNoListText.
// Tested by tests/knowledge/classifier_test.cpp (against their UTF-8 spelling).
// The defaults are code page 932 bytes written as escapes, so the source file's own encoding
// cannot change them; each carries its text in the comment beside it.
#include "knowledge/knowledge.h"

namespace mimoza {

// ミモザ
const ReservedKey kTitleKey = {"<SMES0>", "\x83\x7e\x83\x82\x83\x55"};

// 覚えていい？
const ReservedKey kOfferLearnKey = {"<SMES1>", "\x8a\x6f\x82\xa6\x82\xc4\x82\xa2\x82\xa2\x81\x48"};

// 何て言えばいい？
const ReservedKey kAskAnswerKey = {
    "<SMES2>", "\x89\xbd\x82\xc4\x8c\xbe\x82\xa6\x82\xce\x82\xa2\x82\xa2\x81\x48"};

// OK 学習した ("OK" and the space are ASCII)
const ReservedKey kLearnedKey = {"<SMES3>", "OK \x8a\x77\x8f\x4b\x82\xb5\x82\xbd"};

// 情報を新たに加える？
const ReservedKey kOfferAddKey = {
    "<SMES4>", "\x8f\xee\x95\xf1\x82\xf0\x90\x56\x82\xbd\x82\xc9\x89\xc1\x82\xa6\x82\xe9\x81\x48"};

// はい|うん|y|Y|^やって|^頼む|おう
const ReservedKey kYesListKey = {"<YES>",
                                 "\x82\xcd\x82\xa2"
                                 "|\x82\xa4\x82\xf1"
                                 "|y|Y"
                                 "|^\x82\xe2\x82\xc1\x82\xc4"
                                 "|^\x97\x8a\x82\xde"
                                 "|\x82\xa8\x82\xa4"};

// いいえ|ちゃう|ちがう|違う|n|N|^やって|^やめ|いらん|^だめ|ううん|いや|やだ|いらない|結構です|嫌だ
// The "^" alternatives anchor the whole list, so every word counts at the start of the reply,
// which is where people put a refusal: "いやいや" refuses, "嫌いじゃない" does not.
const ReservedKey kNoListKey = {"<NO>",
                                "\x82\xa2\x82\xa2\x82\xa6"
                                "|\x82\xbf\x82\xe1\x82\xa4"
                                "|\x82\xbf\x82\xaa\x82\xa4"
                                "|\x88\xe1\x82\xa4"
                                "|n|N"
                                "|^\x82\xe2\x82\xc1\x82\xc4"
                                "|^\x82\xe2\x82\xdf"
                                "|\x82\xa2\x82\xe7\x82\xf1"
                                "|^\x82\xbe\x82\xdf"
                                "|\x82\xa4\x82\xa4\x82\xf1"
                                "|\x82\xa2\x82\xe2"
                                "|\x82\xe2\x82\xbe"
                                "|\x82\xa2\x82\xe7\x82\xc8\x82\xa2"
                                "|\x8c\x8b\x8d\x5c\x82\xc5\x82\xb7"
                                "|\x8c\x99\x82\xbe"};

// いいえ|ちゃう|ちがう|違う|n|N|^やって|^やめ|いらん|^だめ
// The default above before ううん ... 嫌だ joined it. Dictionaries seeded until then hold it byte
// for byte, and `mimoza check` must not tell anyone of a list they never wrote.
const char kFormerNoListText[] =
    "\x82\xa2\x82\xa2\x82\xa6"
    "|\x82\xbf\x82\xe1\x82\xa4"
    "|\x82\xbf\x82\xaa\x82\xa4"
    "|\x88\xe1\x82\xa4"
    "|n|N"
    "|^\x82\xe2\x82\xc1\x82\xc4"
    "|^\x82\xe2\x82\xdf"
    "|\x82\xa2\x82\xe7\x82\xf1"
    "|^\x82\xbe\x82\xdf";

}  // namespace mimoza
