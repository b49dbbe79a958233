// The one export of libquilvolite.so: runs the whole application on the calling thread and
// returns when it has shut down. The launcher finds it by name.
#pragma once
#include <cstdint>

extern "C" {
// window: a window to tell when the run ends (0 for none); instance: the caller's module;
// commandLine, show: accepted for the caller's sake, unused (the program reads its own
// command line).
__attribute__((visibility("default"))) void ShowQuilvoLiteInterface(uintptr_t window, void* instance,
                                                                     const char* commandLine, int show);
}

using ShowQuilvoLiteInterfaceFunction = void (*)(uintptr_t, void*, const char*, int);
inline constexpr const char* kShowQuilvoLiteInterfaceName = "ShowQuilvoLiteInterface";
