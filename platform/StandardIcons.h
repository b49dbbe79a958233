// The system's standard icons that the program shows for itself, such as the warning icon that
// stands in for a theme file that is not a picture. They are drawn by code, so they look the
// same on every desktop and need no icon theme.
#pragma once
#include "platform/Surface.h"

namespace plat {

inline constexpr int kStandardIconSize = 32;

// The warning icon: an amber triangle with a dark border and an exclamation mark, 32 x 32
// premultiplied pixels, transparent around the triangle. Made once; valid for the process.
const Surface& WarningIcon();

}  // namespace plat
