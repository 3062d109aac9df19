// knowledge/limits.h: the names of the data files, and the limits of the core and of its faces,
// each with why its number is enough. The pattern language's own limits are in pattern/limits.h.
// Leaves this file: kDictionaryFile, kQuipFile and the k... limits below, the turn's budget among
// them. Included by knowledge/knowledge.h, so every user of the core sees them; the faces'
// classes name their own limits after these.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mimoza {

// ---- The data files, opened by these plain names in the working directory ----
inline constexpr char kDictionaryFile[] = "Dictionary.txt";  // keys and answers, appended
inline constexpr char kQuipFile[] = "Boke.dat";              // quips, one a line, read only

// ---- A line, and the texts fetched for it ----
// A line the user submits holds at most this many bytes; texts fetched for it (answers, quips,
// prompts) and keys learned from it hold one more, which is also the size of a text buffer.
// Nobody types 6000 bytes into one line of chat; a paste that long is cut.
inline constexpr size_t kMaxLineBytes = 5999;
inline constexpr size_t kLineBufferBytes = kMaxLineBytes + 1;

// ---- One lookup, one pick, one list (further answers and lines are ignored) ----
inline constexpr int32_t kMaxAnswers = 65536;    // far beyond any hand-kept dictionary's pool
inline constexpr int32_t kMaxQuipLines = 60000;  // a quip file is a hand-edited list of one-liners
inline constexpr uint32_t kMaxKeyBytes = kLineBufferBytes;  // keys are learned from input lines
// The yes/no lists are fetched with this limit: one pattern of "|"-separated alternatives, and
// 2999 bytes hold far more words than anyone types into such a list.
inline constexpr uint32_t kMaxListBytes = 2999;

// ---- A turn's work, in search steps (pattern/limits.h: a step stands for about 6 ns) ----
// Everything one turn searches (the line's lookup with every key, the prompts' and the yes/no
// lists' lookups, the lists searched in a reply, an explanation's spans) takes at most this many
// steps: about 100 ms on the machine we measure on, on top of reading the files.
inline constexpr int64_t kTurnSteps = 16000000;
// What kTurnSteps stand for on that machine, for the estimates the checker shows.
inline constexpr int64_t kTurnMilliseconds = 100;
// Each part of a turn has a fixed slice of it, whatever the other parts took, so that what one
// part decides never depends on another (an explanation's spans on a turn's prompts, say). A turn
// runs the line's lookup, at most six lookups of prompts and lists (each of the three that one
// turn fetches may be missing and seeded), and at most three single searches (the two lists in a
// reply, a learned line in itself): the slices add up to less than the turn.
inline constexpr int64_t kLineLookupSteps = kTurnSteps / 2;       // the line's keys
inline constexpr int64_t kLineSpanSteps = kTurnSteps / 8;         // where they match, when told
inline constexpr int64_t kReservedLookupSteps = kTurnSteps / 32;  // a prompt's or list's keys
inline constexpr int64_t kReservedSpanSteps = kTurnSteps / 128;   // where they match, when told
inline constexpr int64_t kSingleSearchSteps = kTurnSteps / 64;    // one list, or a learned line
static_assert(kLineLookupSteps + kLineSpanSteps + 6 * (kReservedLookupSteps + kReservedSpanSteps) +
                  3 * kSingleSearchSteps <=
              kTurnSteps);
// Within a lookup's slice every key that needs a search first gets this share (less when more
// keys need one than the slice holds this many times); the keys that run out of it then share
// what is left equally. The keys people write take a few hundred steps on a line, and at most a
// few ten thousand on a whole line of their own characters; this is about 1.5 ms. The checker
// holds every key to it on a line built to be hard: a key that needs more is an error.
inline constexpr int64_t kKeyShareSteps = 250000;
// What the knowledge files keep from one lookup to the next besides the file's own positions:
// the keys' facts and their compiled patterns, held entries included. 16 MiB hold the facts of a
// hundred thousand pattern keys; a turn's search may take kSearchMemoryBudget more, and a
// compilation a few megabytes, so a turn stays within 64 MB of the file's own size.
inline constexpr size_t kMaxKeptBytes = size_t{16} << 20;

// ---- The dictionary checker ----
// A rule reports this many places in a file; a file broken everywhere (a binary file, a file
// saved as UTF-8) would otherwise bury the first, most useful ones.
inline constexpr uint32_t kMaxPerRule = 100;
// Texts are quoted in messages up to this many bytes: enough to recognise a key or an answer,
// short enough that a message stays on a line or two.
inline constexpr size_t kExcerptBytes = 40;

// ---- The faces ----
// A line being edited in UTF-8: it reaches the engine as at most kMaxLineBytes code page 932
// bytes, each made from at most three UTF-8 bytes (a half-width katakana takes one byte there
// and three here), so this always holds a whole line and bounds what a long paste can grow.
inline constexpr size_t kMaxEditedLineBytes = 3 * kLineBufferBytes;
// Submitted lines kept for Up/Down, and in the history file; older ones are forgotten. A
// thousand lines reach back weeks of chatting and load in well under a millisecond.
inline constexpr size_t kMaxHistoryLines = 1000;
// A history file is read from its end, at most this much: room for every kept line at its
// longest, so a file grown huge by hand costs no more than a full one.
inline constexpr uint64_t kMaxHistoryFileBytes = kMaxHistoryLines * (kMaxEditedLineBytes + 1);
// Turns the transcript keeps: a long day of chatting. Responses hold at most kLineBufferBytes,
// so this bounds the memory to a few megabytes even for the longest answers.
inline constexpr int64_t kMaxTranscriptTurns = 1000;
// Turns kept in the transcript file of a data directory, for the next session to show where the
// last one ended: as many as the screen keeps of a session.
inline constexpr size_t kMaxStoredTurns = static_cast<size_t>(kMaxTranscriptTurns);
// That file is read from its end, at most this much. A thousand turns of everyday chat take a few
// hundred kilobytes; this leaves room for long answers without making a start slow, so very
// long turns may keep fewer.
inline constexpr uint64_t kMaxTranscriptFileBytes = uint64_t{4} << 20;
// Input lines of the piped and JSON-lines faces are kept up to this many bytes and the rest of
// the line is read and dropped. A submission keeps at most kMaxLineBytes code page 932 bytes,
// and no character or JSON escape takes more than 12 input bytes per byte kept, so a megabyte
// never cuts into what is submitted; it only bounds the memory a line without end can take.
inline constexpr size_t kMaxStreamLineBytes = size_t{1} << 20;

// ---- What an explanation records and lists ----
// Keys kept (a pathological file can match millions of keys); the rest are only counted.
inline constexpr size_t kMaxExplainKeys = 10000;
// Answer text kept; past it each answer keeps only its first kCutExplainAnswerBytes and is
// marked, so a pool of kMaxAnswers long answers stays within a few tens of megabytes.
inline constexpr size_t kMaxExplainAnswerBytes = size_t{16} << 20;
inline constexpr size_t kCutExplainAnswerBytes = 256;
// Long pools and key lists are cut in the text reports at this many (a screenful or two); the
// JSON event lists everything kept.
inline constexpr size_t kMaxExplainListed = 200;

}  // namespace mimoza
