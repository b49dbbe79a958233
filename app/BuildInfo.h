// What the build stamps into the program: its version, build number and build time.
#pragma once
#include <string>

const char* ProductVersion();   // "1.0.0"
const char* BuildNumber();      // the build's number, set when configuring (QVL_BUILD_NUMBER)
// The time of the build in the C library's form, e.g. "Tue Jul 11 10:35:55 2006".
std::string BuildDateText();
