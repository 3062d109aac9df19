// terminal/common/dictionary_copy.h: Dictionary.txt (code page 932, CR LF) -> an editable UTF-8
// copy with LF line ends in a private folder, and the copy as saved -> the dictionary's bytes
// again, each line the user did not touch given back as the very bytes it came from. `mimoza
// edit` and the desktop window's edit use it.
// Leaves this file: CopyState, CopyReview, CopyShrinks, DictionaryCopy. Tested by
// tests/terminal/edit_test.cpp (through the program, with scripted editors) and
// tests/desktop/window_model_test.cpp (the window's edit).
//
// Lines go back by position, not by their text: the copy's lines as written are kept as hashes,
// and a line diff (AlignLines, knowledge/dictionary_store.h) of the saved copy against them says
// which saved line is which written one. So two lines that read alike in UTF-8 but differ in
// their stored bytes (the NEC and IBM forms of one character, a line ending in LF alone) each
// keep their own bytes, and an editor that saves CR LF changes no other line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "knowledge/dictionary_check.h"

namespace mimoza {

// What ReadBack found.
enum CopyState : int8_t {
  CopyMissing = 0,  // the copy is no longer there (a temporary-file cleaner, the user)
  CopyUnreadable,   // it cannot be read
  CopyUnchanged,    // it holds exactly what was written
  CopyChanged,      // it was edited
};

// What Review found of a saved copy: ReadBack's result, checked.
struct CopyReview {
  CopyState state = CopyMissing;
  int error = 0;       // CopyUnreadable: why
  std::string bytes;   // CopyChanged: the dictionary's bytes
  // CopyChanged: the characters that cannot be stored, else the check's diagnostics of both
  // data files (Boke.dat's are for information: the edit does not touch it).
  std::vector<CheckDiagnostic> diagnostics;
  bool checked = true;  // false: memory ran out while checking
  bool errors = false;  // the dictionary has an error, or was not checked: it must not go in
  size_t entries = 0;   // the entries bytes hold
};

// CopyShrinks: a copy come back empty or cut short (an editor that saved a copy a cleaner had
// removed) holds fewer than half the entries; it replaces the dictionary only after a yes.
inline bool CopyShrinks(size_t entries, size_t oldEntries) { return entries * 2 < oldEntries; }

class DictionaryCopy {
 public:
  DictionaryCopy() = default;
  DictionaryCopy(const DictionaryCopy&) = delete;
  DictionaryCopy& operator=(const DictionaryCopy&) = delete;
  // The copy and its folder go, unless Keep moved the copy away.
  ~DictionaryCopy() { Remove(); }

  // Make: writes the UTF-8 copy of stored (Dictionary.txt as read) into a new folder that only
  // its owner can enter, under $XDG_RUNTIME_DIR when that is set, else $TMPDIR, else /tmp. False,
  // with *problem saying why (a line of bytes that are no code page 932 and could not come back
  // as they were, a folder that cannot be made).
  bool Make(const std::string& stored, std::string* problem);
  const std::string& Path() const { return path; }
  bool Exists() const;

  // ReadBack: the copy as saved, against stored (the bytes Make was given). CopyChanged: *bytes
  // gets the dictionary's bytes (code page 932, CR LF for lines the user changed, untouched lines
  // as they were), and each character that cannot be stored is a diagnostic in *problems (and is
  // left out). CopyUnreadable: *error says why.
  CopyState ReadBack(const std::string& stored, std::string* bytes,
                     std::vector<CheckDiagnostic>* problems, int* error) const;

  // Review: ReadBack, and a changed copy whose characters can all be stored checked as the
  // dictionary it would be (CheckEditedDictionary), with its entries counted.
  CopyReview Review(const std::string& stored) const;

  // Keep: moves the copy into backups/ of the working directory (the data directory) as
  // "edited-copy-YYYYMMDD-HHMMSS.txt", so that it outlives the temporary folder; returns its
  // path, or where it still is when it cannot be moved.
  std::string Keep();
  // Remove: the copy and its folder go now.
  void Remove();

 private:
  std::string folder;
  std::string path;
  std::vector<uint64_t> written;  // LineHash of each line as written, without a final CR
};

}  // namespace mimoza
