// app/module_directory.h: a module's file name -> the directory it lies in.
// Leaves this file: kModulePathSize, moduleDirectory, DirectoryLength, ModuleDirectory.
// Tested by tests/app/module_directory_test.cpp.
#pragma once

#include <windows.h>

#include <cstddef>

namespace mimoza {

// The longest path the wide file functions take, with its NUL.
inline constexpr size_t kModulePathSize = 32768;

// Filled by ModuleDirectory: the directory of the module's file, ending with a backslash.
extern wchar_t moduleDirectory[kModulePathSize];

// DirectoryLength: the length of path[0, length) up to and including its last backslash, or 0
// when it holds none. The path is UTF-16, so a code page 932 character whose second byte is
// 0x5C can never pass for a separator.
size_t DirectoryLength(const wchar_t* path, size_t length);

// ModuleDirectory: the directory of instance's file, ending with a backslash, in
// moduleDirectory. Returns null when the file name cannot be had in full or holds no backslash;
// the caller then leaves the current directory as it is.
const wchar_t* ModuleDirectory(HINSTANCE instance);

}  // namespace mimoza
