// QuilvoLite, the launcher: loads libquilvolite.so from its own folder and hands the run to it.
#include <cstdio>
#include <string>

#include "app/ShowQuilvoLiteInterface.h"
#include "platform/Library.h"
#include "platform/MessageBox.h"
#include "platform/Names.h"
#include "platform/Process.h"

int main(int argc, char** argv)
{
    std::string path = plat::ExecutableFolder() + plat::kMainLibraryName;
    void* library = plat::LoadLibrary(path);
    if (!library) {
        std::fprintf(stderr, "QuilvoLite: %s\n", plat::LastLibraryError().c_str());
        plat::MessageBox(0, std::string("Sorry, Quilvo Lite failed to load ") + plat::kMainLibraryName,
                         "Quilvo Lite Error", plat::MB_OK);
        return 0;
    }
    auto show = reinterpret_cast<ShowQuilvoLiteInterfaceFunction>(
        plat::GetProcAddress(library, kShowQuilvoLiteInterfaceName));
    if (show) {
        std::string commandLine;
        for (int i = 1; i < argc; ++i)
            commandLine += (i > 1 ? " " : "") + std::string(argv[i]);
        show(0, nullptr, commandLine.c_str(), 1);
    }
    plat::FreeLibrary(library);
    return 0;
}
