// Runs a shell command for a test and collects what it prints on standard output, with its exit
// code; tests of the command-line programs use it.
#pragma once
#include <sys/wait.h>

#include <cstdio>
#include <string>

struct CommandOutput {
    int code = -1;      // the exit code, or -1 when the command did not exit normally
    std::string text;   // standard output
};

inline CommandOutput RunCommand(const std::string& command)
{
    CommandOutput out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return out;
    char buffer[4096];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
        out.text.append(buffer, n);
    const int status = pclose(pipe);
    out.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}
