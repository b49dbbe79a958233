// Keyword searches over programme texts: keywords joined by "and", "or" and "not", with
// parentheses and double quotes, compiled once into a flat list of tests whose true and false
// successors give short-circuit evaluation. Matching folds case (foundation/TextFold.h) and
// either needs whole words or accepts a keyword anywhere in a text.
//     CSearchExpression search("news or (film not horror)", CSearchExpression::kWholeWords);
//     CSearchExpression::Hits hits;
//     if (search.Matches({title, description}, &hits)) html = search.Highlight(title, hits);
#pragma once
#include <array>
#include <cstddef>
#include <string>
#include <vector>

class CSearchExpression {
public:
    enum MatchMode { kWholeWords, kAnywhere };
    enum NodeKind { kStart, kKeywordTest, kNegation };

    // One step of the compiled expression. Successors always lie after the node; the start
    // node (index 0) leads to the first test and records in m_nEnd the index that means a
    // match; every other index past the last node means no match.
    struct Node {
        NodeKind m_nKind = kStart;
        int m_nKeyword = -1;         // keyword tests: index into GetKeywords()
        size_t m_nTrue = 0;          // where to go when the test (or negation) is true
        size_t m_nFalse = 0;         // ... and when it is false
        size_t m_nEnd = 0;           // start node only
        bool m_bNegated = false;     // keyword tests under an odd number of "not"s
    };

    // A true keyword test met while matching, and the index of the text it was found in.
    struct Hit {
        size_t m_nNode = 0;
        size_t m_nText = 0;
    };
    using Hits = std::vector<Hit>;

    static constexpr size_t kMaxKeywordLength = 256;   // bytes
    static constexpr int kMaxNesting = 64;             // parentheses

    // Compiles the expression; an empty or all-blank text compiles to an expression that never
    // matches. Errors throw CExtraInfoException* with code 3 and a message for the user.
    CSearchExpression(const std::string& strExpression, MatchMode mode);

    // Whether the expression holds for the texts: a keyword is true when it occurs in any of
    // them. With pHits, every true keyword test is appended.
    bool Matches(const std::vector<std::string>& texts, Hits* pHits = nullptr) const;

    // The keywords that made the match (not those under "not"), each once, joined with ", ".
    std::string ListMatches(const Hits& hits) const;

    // The text escaped for HTML, with every occurrence of the keywords that made the match
    // wrapped in "<font bgcolor=\"highlight-background\">" ... "</font>".
    std::string Highlight(const std::string& strText, const Hits& hits) const;

    MatchMode GetMatchMode() const { return m_nMode; }
    const std::vector<std::string>& GetKeywords() const { return m_keywords; }
    const std::vector<Node>& GetNodes() const { return m_nodes; }

private:
    struct Pattern {
        std::string m_strFolded;
        std::array<size_t, 256> m_skip{};
    };

    // Where the keyword occurs in the folded text at or after nFrom; npos when it does not.
    size_t Find(const Pattern& pattern, const std::string& strFolded, size_t nFrom) const;
    // The keywords of the hits that made the match, in the order first hit, each once.
    std::vector<int> MatchedKeywords(const Hits& hits) const;

    MatchMode m_nMode = kWholeWords;
    std::vector<std::string> m_keywords;
    std::vector<Pattern> m_patterns;      // by keyword index
    std::vector<Node> m_nodes;
};
