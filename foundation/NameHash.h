// The hash of the program's name-keyed tables (settings, profile sections, theme entries,
// channels...): names compare without regard to ASCII case and the tables have 97 buckets.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

inline constexpr uint32_t kNameTableBuckets = 97;

constexpr unsigned char AsciiUpper(unsigned char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

// h starts at 0; for each character h = upper(c) XOR (h * 2).
constexpr uint32_t NameHash(std::string_view strName)
{
    uint32_t h = 0;
    for (char c : strName)
        h = AsciiUpper(static_cast<unsigned char>(c)) ^ (h * 2);
    return h;
}

constexpr uint32_t NameBucket(std::string_view strName, uint32_t nBuckets = kNameTableBuckets)
{
    return NameHash(strName) % nBuckets;
}

constexpr bool NamesEqual(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiUpper(static_cast<unsigned char>(a[i])) != AsciiUpper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// For std::unordered_map<std::string, T, NameHashFn, NameEqualFn>; lookups by string_view work.
struct NameHashFn {
    using is_transparent = void;
    size_t operator()(std::string_view strName) const { return NameHash(strName); }
};
struct NameEqualFn {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return NamesEqual(a, b); }
};
