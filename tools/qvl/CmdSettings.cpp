// qvl settings list | get NAME | set NAME VALUE [--type TYPE]: the user's "settings.dat".
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "foundation/FolderPaths.h"
#include "foundation/NameHash.h"
#include "foundation/SettingsStore.h"
#include "tools/qvl/Command.h"
#include "tools/qvl/Installation.h"

namespace {

int Usage()
{
    return qvl::UsageError(*qvl::FindCommand("settings"));
}

bool ParseUInt(const std::string& text, uint32_t& out)
{
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const unsigned long long value = std::strtoull(text.c_str(), nullptr, 10);
    out = uint32_t(value);
    return value <= 0xFFFFFFFFull;
}

bool ParseBool(const std::string& text, bool& out)
{
    for (const char* yes : {"1", "true", "yes", "on"})
        if (NamesEqual(text, yes))
            return out = true;
    for (const char* no : {"0", "false", "no", "off"})
        if (NamesEqual(text, no)) {
            out = false;
            return true;
        }
    return false;
}

int Set(CSettingsStore& store, const qvl::Arguments& args)
{
    const std::string& name = args[1];
    const std::string& value = args[2];
    // Without --type a setting keeps the type it has; a new one is a text.
    std::string type = "string";
    if (auto existing = store.Find(name))
        type = existing->type;
    if (args.size() == 5 && args[3] == "--type")
        type = args[4];
    else if (args.size() != 3)
        return Usage();

    if (type == "uint") {
        uint32_t number = 0;
        if (!ParseUInt(value, number)) {
            std::fprintf(stderr, "qvl: '%s' is not an unsigned 32-bit number\n", value.c_str());
            return qvl::kExitUsage;
        }
        store.SetUInt(name, number);
    } else if (type == "bool") {
        bool flag = false;
        if (!ParseBool(value, flag)) {
            std::fprintf(stderr, "qvl: '%s' is not a truth value (1/0, true/false, yes/no, on/off)\n",
                         value.c_str());
            return qvl::kExitUsage;
        }
        store.SetBool(name, flag);
    } else if (type == "string" || type == "string-enc") {
        store.SetString(name, value, type == "string-enc");
    } else {
        std::fprintf(stderr, "qvl: unknown type '%s'\n", type.c_str());
        return qvl::kExitUsage;
    }
    if (!store.Save()) {
        std::fprintf(stderr, "qvl: cannot save %s\n", store.GetPath().c_str());
        return qvl::kExitFailure;
    }
    return qvl::kExitOk;
}

int Run(const qvl::Arguments& args)
{
    if (args.empty())
        return Usage();
    const std::string& action = args[0];
    if (!(action == "list" && args.size() == 1) && !(action == "get" && args.size() == 2) &&
        !(action == "set" && args.size() >= 3))
        return Usage();

    CFolderPaths paths;
    if (!qvl::LoadFolders(paths))
        return qvl::kExitFailure;
    const std::string folder = qvl::FolderOf(paths, "user-settings");
    if (folder.empty())
        return qvl::kExitFailure;
    CSettingsStore store;
    store.SetFolderPaths(&paths);
    store.Load(folder + "settings.dat");   // a missing file is an empty table

    if (action == "set")
        return Set(store, args);
    if (action == "get") {
        auto setting = store.Find(args[1]);
        if (!setting) {
            std::fprintf(stderr, "qvl: no setting '%s'\n", args[1].c_str());
            return qvl::kExitFailure;
        }
        std::printf("%s\n", setting->value.c_str());
        return qvl::kExitOk;
    }
    auto settings = store.List();
    std::sort(settings.begin(), settings.end(),
              [](const auto& a, const auto& b) { return a.name < b.name; });
    for (const auto& setting : settings)
        std::printf("%s\t%s\t%s\n", setting.name.c_str(), setting.type.c_str(), setting.value.c_str());
    return qvl::kExitOk;
}

const qvl::Command kCommand{
    "settings", "list | get NAME | set NAME VALUE [--type uint|bool|string|string-enc]",
    "lists, reads or changes the user's settings.dat",
    "list prints each setting as name, type and value, tab-separated; scrambled values\n"
    "(string-enc) are shown in clear. set keeps a setting's type unless --type is given; a new\n"
    "setting is a string. Truth values: 1/0, true/false, yes/no, on/off.\n"
    "A running Quilvo Lite keeps its own copy of the settings and writes it back when it\n"
    "saves, so change settings while the program is not running.",
    Run};
const qvl::CommandRegistration kRegistration(kCommand);

}  // namespace
