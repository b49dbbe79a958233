// qvl: the command-line companion of Quilvo Lite. "qvl COMMAND ARGS..." runs one command;
// "qvl help [COMMAND]" lists the commands or explains one.
#include "tools/qvl/Command.h"

#include <cstdio>
#include <cstring>

namespace {

void PrintCommandList(FILE* out)
{
    std::fprintf(out, "usage: qvl COMMAND [ARGS...]\n\ncommands:\n");
    for (const qvl::Command* command : qvl::Commands())
        std::fprintf(out, "  %-10s %s\n", command->name, command->summary);
    std::fprintf(out, "  %-10s %s\n", "help", "lists the commands, or explains one: help COMMAND");
}

int Help(const qvl::Arguments& args)
{
    if (args.empty()) {
        PrintCommandList(stdout);
        return qvl::kExitOk;
    }
    const qvl::Command* command = qvl::FindCommand(args[0]);
    if (!command) {
        std::fprintf(stderr, "qvl: no command '%s'\n", args[0].c_str());
        return qvl::kExitUsage;
    }
    std::printf("usage: qvl %s %s\n\n%s\n", command->name, command->usage, command->summary);
    if (command->help && *command->help)
        std::printf("\n%s\n", command->help);
    return qvl::kExitOk;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        PrintCommandList(stderr);
        return qvl::kExitUsage;
    }
    qvl::Arguments args(argv + 2, argv + argc);
    if (std::strcmp(argv[1], "help") == 0 || std::strcmp(argv[1], "--help") == 0 ||
        std::strcmp(argv[1], "-h") == 0)
        return Help(args);
    const qvl::Command* command = qvl::FindCommand(argv[1]);
    if (!command) {
        std::fprintf(stderr, "qvl: no command '%s'; try 'qvl help'\n", argv[1]);
        return qvl::kExitUsage;
    }
    return command->run(args);
}
