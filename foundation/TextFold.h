// The one case fold for user-visible text (titles, names, search words): UTF-8 in, UTF-8 out,
// code point by code point, so that "CAFÉ" and "café" compare equal. Keys, file names and tags
// fold ASCII only and do not use this.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace textfold {

// Stands in for every byte that belongs to no well-formed UTF-8 sequence.
inline constexpr uint32_t kReplacement = 0xFFFD;

// The code point at nPos, advancing nPos past it; a malformed, overlong or surrogate sequence
// yields kReplacement and advances by one byte. nPos must be below text.size().
uint32_t DecodeUTF8(std::string_view text, size_t& nPos);
void AppendUTF8(uint32_t codePoint, std::string& out);

// The simple case fold of one code point: ASCII, Latin-1, Latin Extended-A, Greek and the
// basic Cyrillic letters fold to their small letters; dotted and dotless i both fold to "i",
// long s to "s". Other code points are their own fold.
uint32_t FoldCodePoint(uint32_t codePoint);

// Whether the code point is part of a word: ASCII letters and digits, and every code point
// beyond ASCII except the punctuation and symbols of Latin-1 and the general and CJK
// punctuation blocks.
bool IsWordCodePoint(uint32_t codePoint);

// The folded text; always well-formed UTF-8. With pOffsets, (*pOffsets)[i] is the offset in
// text of the character that folded byte i came from, and one more entry holds text.size().
std::string FoldText(std::string_view text, std::vector<size_t>* pOffsets = nullptr);

// Whether the two texts are equal once folded.
bool EqualFolded(std::string_view a, std::string_view b);

}  // namespace textfold
