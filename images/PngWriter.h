// Writing pixels as PNG, for the qvl commands and the tests.
#pragma once
#include "platform/Surface.h"

#include <cstdint>
#include <string>
#include <vector>

// Encodes blue, green, red, alpha pixels (premultiplied or straight) as an RGBA PNG.
bool EncodePng(const plat::Surface& pixels, bool premultiplied, std::vector<uint8_t>& out);
bool WritePngFile(const std::string& path, const plat::Surface& pixels, bool premultiplied);
