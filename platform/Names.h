// The names of the deliverables, and the test that tells a program file from any other file.
#pragma once
#include <string_view>

namespace plat {

inline constexpr const char* kLauncherName = "QuilvoLite";
inline constexpr const char* kMainLibraryName = "libquilvolite.so";
inline constexpr const char* kDrawingLibraryName = "libkrdcagg.so";
inline constexpr const char* kUpgraderName = "QuilvoLiteUpgrader";
inline constexpr const char* kCompanionName = "qvl";
inline constexpr const char* kThemeArchiveExtension = ".qvltheme";
inline constexpr const char* kSingleInstanceName = "QuilvoLite10";
inline constexpr const char* kExitMessageName = "QVL_Exit";

// True for the files an upgrade must hand to the upgrader: our executables, shared libraries
// (".so" or ".so.N") and theme archives. Compares the file-name part only, ASCII case folded
// for the extensions.
bool IsProgramFile(std::string_view fileName);

// True for the names of our executables (which need the exec bit when installed).
bool IsExecutableName(std::string_view fileName);

}  // namespace plat
