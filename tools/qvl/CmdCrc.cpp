// qvl crc FILE...: the program's checksum of each file, as the update service lists them.
#include <cstdio>

#include "foundation/Exceptions.h"
#include "foundation/FileUtils.h"
#include "tools/qvl/Command.h"

namespace {

int Run(const qvl::Arguments& args)
{
    if (args.empty())
        return qvl::UsageError(*qvl::FindCommand("crc"));
    int result = qvl::kExitOk;
    for (const std::string& file : args) {
        uint32_t crc = 0;
        if (GetFileCRC(file, crc)) {
            std::printf("%08x %s\n", crc, file.c_str());
        } else {
            std::fprintf(stderr, "qvl: cannot read %s: %s\n", file.c_str(), FormatLastError().c_str());
            result = qvl::kExitFailure;
        }
    }
    return result;
}

const qvl::Command kCommand{"crc", "FILE...",
                            "prints each file's checksum (8 hex digits) and its name", "", Run};
const qvl::CommandRegistration kRegistration(kCommand);

}  // namespace
