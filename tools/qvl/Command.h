// The command registry of qvl. Each command lives in its own Cmd<Name>.cpp and registers
// itself with a static CommandRegistration, so adding a file adds a command.
#pragma once
#include <string>
#include <vector>

namespace qvl {

using Arguments = std::vector<std::string>;

struct Command {
    const char* name;      // the word after "qvl", e.g. "crc"
    const char* usage;     // the arguments, e.g. "FILE..."
    const char* summary;   // one line for the command list
    const char* help;      // further lines for "qvl help NAME"; may be empty
    // Runs with the arguments after the command's name; returns the exit code
    // (0 success, 1 failure, 2 wrong usage).
    int (*run)(const Arguments& args);
};

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Static objects of this type add their command to the registry.
struct CommandRegistration {
    explicit CommandRegistration(const Command& command);
};

// Registered commands sorted by name.
std::vector<const Command*> Commands();
const Command* FindCommand(const std::string& name);

// Prints "usage: qvl NAME USAGE" to standard error and answers kExitUsage.
int UsageError(const Command& command);

}  // namespace qvl
