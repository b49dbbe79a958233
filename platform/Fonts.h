// Fonts found by face name, and their metrics. Face names are those the design uses ("Arial",
// "Tahoma", "Verdana"); fontconfig maps them onto installed faces with its usual aliases
// (Arial to Liberation Sans, unknown names to the default sans-serif face).
#pragma once
#include <string>

namespace plat {

struct FontFace {
    std::string path;       // the font file
    int index = 0;          // the face inside the file (collections hold several)
    bool bold = false;      // the face itself is bold (weight 600 and above)
    bool italic = false;    // the face itself is italic or oblique
};

// Finds the installed face that best matches a face name, a weight (400 normal, 700 bold) and
// a slant. Only fails when no scalable font is installed. Results are cached; thread-safe.
bool FindFont(const std::string& faceName, int weight, bool italic, FontFace& out);

// The metrics of a face whose em is pixelHeight pixels high, in whole pixels, computed as a
// Windows text-metric record does for TrueType fonts (see docs/drawing.md).
struct FontMetrics {
    int ascent = 0;              // baseline to the top of the character cell
    int descent = 0;             // baseline to the bottom of the cell
    int externalLeading = 0;     // extra room the designer wants between lines
    int underlinePosition = 0;   // pixels below the baseline to the underline's top
    int underlineThickness = 1;
};
bool GetFontMetrics(const FontFace& face, int pixelHeight, FontMetrics& out);

}  // namespace plat
