// Colour texts as themes write them: the CSS colour names, "#rrggbb" (and shorter or longer
// hexadecimal forms), a bare hexadecimal number, and "r,g,b" or "r,g,b,a" in decimal.
#pragma once
#include <cstdint>
#include <string_view>

// The colour value of a text: red in the lowest byte, then green, blue and alpha (0 opaque).
// A text of no known form answers the default.
//   - a CSS colour name (the 147 keywords, "gray" and "grey" alike, without regard to case);
//   - "#" and hexadecimal digits: a third of the digits (at most 2) per component, in the order
//     red, green, blue, alpha; a one-digit component keeps its value (0 to 15); characters
//     that are not hexadecimal digits count as 0; missing components are 0;
//   - without a comma: a text starting with a digit is one hexadecimal number (red lowest);
//   - with commas: red, green, blue and optionally alpha in decimal, blanks around the commas
//     allowed, each kept to its low 8 bits.
uint32_t ParseColour(std::string_view text, uint32_t defaultColour);
