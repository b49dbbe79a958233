// Shared libraries loaded at run time, with the Windows shape: load by path, look up an export
// by name, free.
#pragma once
#include <string>

namespace plat {

// Loads a shared library by its path, resolving every symbol now. Returns nullptr on failure;
// LastLibraryError then tells why.
void* LoadLibrary(const std::string& path);
// The address of an exported symbol, or nullptr when the library has none of that name.
void* GetProcAddress(void* library, const char* name);
void FreeLibrary(void* library);
// The loader's text for the last failure of the calling thread ("" when none).
std::string LastLibraryError();

}  // namespace plat
