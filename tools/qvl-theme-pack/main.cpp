// qvl-theme-pack DIR OUT.qvltheme: packs a theme folder (holding "theme.velasc") into one
// ".qvltheme" archive whose entries are enciphered with the theme key, ready to install in
// the themes folder.
#include <cstdio>
#include <string>

#include "script/theme/ThemeArchiveWriter.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: qvl-theme-pack DIR OUT.qvltheme\n");
        return 2;
    }
    size_t nFiles = 0;
    std::string strError;
    if (!PackThemeFolder(argv[1], argv[2], nFiles, strError)) {
        std::fprintf(stderr, "qvl-theme-pack: %s\n", strError.c_str());
        return 1;
    }
    std::printf("packed %zu files into %s\n", nFiles, argv[2]);
    return 0;
}
