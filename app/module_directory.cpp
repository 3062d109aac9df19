// app/module_directory.cpp: the executable's directory, found in its UTF-16 file name.
// Leaves this file: moduleDirectory, DirectoryLength, ModuleDirectory.
// Tested by tests/app/module_directory_test.cpp.
#include "app/module_directory.h"

namespace mimoza {

wchar_t moduleDirectory[kModulePathSize];

size_t DirectoryLength(const wchar_t* path, size_t length) {
  for (size_t end = length; end > 0; --end) {
    if (path[end - 1] == L'\\') return end;
  }
  return 0;
}

const wchar_t* ModuleDirectory(HINSTANCE instance) {
  moduleDirectory[0] = L'\0';
  // The wide call gives the whole name, however long and whatever its characters; a name that
  // fills the buffer may have been cut, so it counts as not had.
  DWORD length = GetModuleFileNameW(instance, moduleDirectory, kModulePathSize);
  if (length == 0 || length >= kModulePathSize) {
    moduleDirectory[0] = L'\0';
    return nullptr;
  }
  size_t directory = DirectoryLength(moduleDirectory, length);
  moduleDirectory[directory] = L'\0';
  return directory == 0 ? nullptr : moduleDirectory;
}

}  // namespace mimoza
