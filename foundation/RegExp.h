// A small regular-expression engine for parsing listings texts: ^ $ . [ ] [^ ] ( ) | * + ?,
// "\d" for a decimal digit, "\<" and "\>" for the start and end of a word, and a backslash
// before any other character for that character. Searching finds the leftmost match;
// alternatives are tried left to right and repetitions are greedy.
#pragma once
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Thrown by value when a pattern does not compile or a match grows too costly.
class CRegExpException {
public:
    enum : int32_t {
        kNoError = 0,
        kTooBig = -1,
        kTooManyGroups = -2,
        kUnmatchedParen = -3,
        kJunkOnEnd = -4,
        kEmptyOperand = -5,
        kNestedRepeat = -6,
        kInvalidRange = -7,
        kUnmatchedBracket = -8,
        kRepeatFollowsNothing = -9,
        kTrailingBackslash = -10,
        kTooComplex = -11,
    };

    explicit CRegExpException(int32_t nCode) : m_nCode(nCode) {}
    int32_t GetCode() const { return m_nCode; }
    // "no errors detected" for a code of 0 or more, else the engine's message for the code.
    const char* GetText() const;

private:
    int32_t m_nCode = 0;
};

// Where a search matched: group 0 is the whole match, groups 1.. the parenthesised parts in
// the order of their opening parentheses. A group that took no part has no text.
class CRegExpMatch {
public:
    static constexpr size_t npos = std::string::npos;

    size_t GetGroupCount() const { return m_groups.size(); }
    bool HasGroup(size_t n) const { return n < m_groups.size() && m_groups[n].start != npos; }
    size_t GetStart(size_t n = 0) const { return n < m_groups.size() ? m_groups[n].start : npos; }
    size_t GetLength(size_t n = 0) const;
    std::string GetText(size_t n = 0) const;   // empty when the group took no part

private:
    friend class CRegExp;
    struct Group { size_t start = npos; size_t end = npos; };
    std::vector<Group> m_groups;
    std::string m_strSubject;
};

class CRegExp {
public:
    // Compiles the pattern; throws CRegExpException when it is malformed.
    explicit CRegExp(std::string_view pattern);

    // Finds the leftmost match at or after position from. Thread-safe: the compiled pattern is
    // never changed by matching. Throws CRegExpException (kTooComplex) when a match would take
    // too many steps or nest too deeply.
    bool Search(std::string_view text, CRegExpMatch& match, size_t from = 0) const;
    bool Search(std::string_view text) const;

    size_t GetGroupCount() const { return m_nGroups; }

private:
    enum class Op : uint8_t {
        End, Bol, Eol, Any, Char, Set, Digit, WordStart, WordEnd,
        Branch, Back, Nothing, Star, Plus, Open, Close,
    };
    struct Node {
        Op op = Op::End;
        unsigned char ch = 0;
        int next = -1;      // the node that follows; -1 until linked
        int operand = -1;   // Branch: first node of its alternative; Star/Plus: the repeated node
        int group = 0;      // Open/Close
        std::bitset<256> set;
    };
    enum : unsigned { kHasWidth = 1, kSimple = 2 };

    class Matcher;

    int Emit(Op op);
    void Tail(int chain, int target);
    int ParseAlternation(bool parenthesised, unsigned& flags);
    int ParseBranch(unsigned& flags);
    int ParsePiece(unsigned& flags);
    int ParseAtom(unsigned& flags);
    int ParseSet();
    bool AtEnd() const { return m_nPos >= m_pattern.size(); }
    char Peek() const { return m_pattern[m_nPos]; }

    std::vector<Node> m_nodes;
    int m_nStart = -1;
    size_t m_nGroups = 1;   // group 0 is the whole match
    // Compile-time state.
    std::string_view m_pattern;
    size_t m_nPos = 0;
};
