// Process and thread identity, ticks, sleeping, the executable's path, environment and spawning.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace plat {

uint32_t GetCurrentProcessId();
uint32_t GetCurrentThreadId();   // the kernel thread id
uint32_t GetTickCount();         // milliseconds of a monotonic clock, wrapping at 2^32
uint64_t GetTickCount64();
void Sleep(uint32_t milliseconds);

std::string ExecutablePath();    // full path of the running program (/proc/self/exe)
std::string ExecutableFolder();  // its folder, ending in "/"
// The process's arguments as it was started, the program's name first (/proc/self/cmdline).
std::vector<std::string> ProcessArguments();

// The environment. Set variables only before threads start (setenv is not thread-safe).
std::string GetEnv(const char* name, const char* fallback = "");
bool HasEnv(const char* name);
void SetEnv(const char* name, const std::string& value);

// Starts a program detached from this one: its own session, standard input from /dev/null,
// standard output and error shared with ours, every other descriptor of ours closed because
// all of them are close-on-exec. args are the arguments after the program's name; the child
// is reaped when it ends, so it never lingers as a zombie. Returns false with the last error
// set when the process could not be created; pid receives its id.
bool SpawnDetached(const std::string& path, const std::vector<std::string>& args,
                   uint32_t* pid = nullptr);

// True when a process with that id exists.
bool ProcessExists(uint32_t pid);

}  // namespace plat
