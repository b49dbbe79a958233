// Shared libraries through the dynamic loader.
#include "platform/Library.h"

#include <dlfcn.h>

namespace plat {

namespace {
thread_local std::string t_lastError;

void NoteError()
{
    const char* text = dlerror();
    t_lastError = text ? text : "";
}
}  // namespace

void* LoadLibrary(const std::string& path)
{
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library)
        NoteError();
    return library;
}

void* GetProcAddress(void* library, const char* name)
{
    dlerror();
    void* address = dlsym(library, name);
    if (!address)
        NoteError();
    return address;
}

void FreeLibrary(void* library)
{
    if (library)
        dlclose(library);
}

std::string LastLibraryError()
{
    return t_lastError;
}

}  // namespace plat
