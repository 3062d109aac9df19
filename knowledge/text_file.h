// knowledge/text_file.h: files read and appended as text, identically on every platform.
// Reading drops every 0x1A byte, then folds each CR LF into LF and keeps a lone CR; appending
// writes each LF as CR LF. Files are opened in binary mode everywhere, so this module alone decides
// the bytes, and the Linux and Windows builds read and write the same files the same way. Private
// to mimoza_knowledge (and its tests, fuzz targets and benchmarks).
#pragma once

#include <cstddef>
#include <cstdint>

namespace mimoza {

// A whole file as text. bytes[0, length) is what the read delivered and bytes[length] is a NUL,
// so the text can also be handed to code that stops at a NUL. Owns its buffer.
struct TextBuffer {
  char* bytes = nullptr;
  size_t length = 0;

  TextBuffer() = default;
  TextBuffer(const TextBuffer&) = delete;
  TextBuffer& operator=(const TextBuffer&) = delete;
  ~TextBuffer();
};

// RawFile: a regular file opened for reading its bytes as they are stored, at chosen offsets;
// closed when the object goes. Several reads of one RawFile see one file, even when another
// process renames a new file over its name meanwhile.
class RawFile {
 public:
  RawFile() = default;
  RawFile(const RawFile&) = delete;
  RawFile& operator=(const RawFile&) = delete;
  ~RawFile();

  // Open: opens fileName when it is a regular file (never waiting, as opening a FIFO would).
  // False when it is missing (errno ENOENT), is no regular file, is too large to address or
  // cannot be opened (errno says why).
  bool Open(const char* fileName);
  // Size: the file's length when it was opened.
  uint64_t Size() const { return size; }
  // ReadAt: reads up to count bytes at offset into into; fewer only at the end of the file.
  // Returns the number read, or -1 when reading fails.
  int64_t ReadAt(uint64_t offset, char* into, size_t count);

 private:
  int fd = -1;
  uint64_t size = 0;
};

// ReadTextFile: reads the regular file fileName whole into text as text.
// Returns false, leaving text empty, when the file is missing, is no regular file (a directory),
// cannot be read, is too large to address or its buffer cannot be allocated.
bool ReadTextFile(const char* fileName, TextBuffer* text);

// FoldTextLineEnds: the reading conversion in place over bytes[0, length): every 0x1A dropped,
// then CR LF -> LF, a lone CR kept. Returns the new length.
size_t FoldTextLineEnds(char* bytes, size_t length);

// AppendTextFile: appends text[0, length) with each LF written as CR LF, creating the file when it
// is missing; anything but a regular file (a FIFO, a device) is refused without waiting. On
// failure errno says why. One write in append mode, so concurrent appenders never interleave inside
// it, then flushed to the disk. Returns true only when every byte was written and flushed;
// otherwise the file is cut back to where this write began and the result is false.
bool AppendTextFile(const char* fileName, const char* text, size_t length);

}  // namespace mimoza
