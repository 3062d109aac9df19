// knowledge/knowledge_internal.h: the knowledge files' operations below the public interface.
// The byte searches and hashes, the dictionary's tag helper (knowledge/dictionary_format.cpp),
// and the lookup and the quip pick over a text that is already in memory: the file operations
// run exactly these after reading their file, so the tests, the fuzz targets and the benchmarks
// reach the same code paths without disk I/O.
// Private to mimoza_knowledge and its tests, fuzz targets and benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "knowledge/knowledge.h"

namespace mimoza {

// DropTrailingBar: removes one "|" that ends a yes/no list as a character of its own (the second
// byte of a double-byte character, 0x83 0x7C for one, is left alone), as the lists are read.
void DropTrailingBar(char* list);

// FindBytes: the first position p at or after from with needle[0, needleLen) at p and
// p + needleLen not past end; null when from is null or there is none.
const char* FindBytes(const char* from, const char* needle, size_t needleLen, const char* end);

// CountByte: how many bytes of [from, end) equal byte; eight at a time, as counting the line
// ends of a whole dictionary must cost little next to reading it.
size_t CountByte(const char* from, const char* end, char byte);

// HashBytes: a 64-bit hash of bytes[0, length) under seed, four lanes at a time so that hashing a
// whole dictionary file costs little next to reading it. Not cryptographic: it tells texts and
// file blocks apart, and the seed differs between processes.
uint64_t HashBytes(const void* bytes, size_t length, uint64_t seed);

// ExtractTagText: finds the next element named tagName ("<" tagName, any bytes up to the first
// ">", the text, then "</" tagName ">") that opens at or after from and closes before end, copies
// its text (at most outLen bytes, stopping at a NUL, then a NUL) into out and returns the position
// just after its closing tag. Null, with out unchanged, when no complete element follows.
const char* ExtractTagText(const char* from, const char* tagName, const char* end, char* out,
                           uint32_t outLen);

// LookupAnswerInText: the reference lookup: every key of text[0, length) (a text as read, its
// line ends folded) compiled and searched, as Dictionary::LookupAnswer must answer.
bool LookupAnswerInText(const char* text, size_t length, const char* subject, MatchMode mode,
                        char* out, uint32_t outLen);

// PickQuipFromText: PickQuip over text[0, length) instead of a file.
bool PickQuipFromText(const char* text, size_t length, char* out, uint32_t outLen,
                      QuipPick* pick = nullptr);

}  // namespace mimoza
