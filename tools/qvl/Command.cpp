// The registry behind CommandRegistration.
#include "tools/qvl/Command.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace qvl {

namespace {

// A function-local list, so registration works whatever the order of static initialisation.
std::vector<const Command*>& Registry()
{
    static std::vector<const Command*> commands;
    return commands;
}

}  // namespace

CommandRegistration::CommandRegistration(const Command& command)
{
    Registry().push_back(&command);
}

std::vector<const Command*> Commands()
{
    std::vector<const Command*> sorted = Registry();
    std::sort(sorted.begin(), sorted.end(), [](const Command* a, const Command* b) {
        return std::strcmp(a->name, b->name) < 0;
    });
    return sorted;
}

const Command* FindCommand(const std::string& name)
{
    for (const Command* command : Registry())
        if (name == command->name)
            return command;
    return nullptr;
}

int UsageError(const Command& command)
{
    std::fprintf(stderr, "usage: qvl %s %s\n", command.name, command.usage);
    return kExitUsage;
}

}  // namespace qvl
