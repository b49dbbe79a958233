#include "listings/SearchExpression.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

#include "foundation/Exceptions.h"
#include "foundation/TextFold.h"

namespace {

[[noreturn]] void Fail(std::string strMessage)
{
    throw new CExtraInfoException(3, std::move(strMessage));
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

enum TokenKind { kTokKeyword, kTokAnd, kTokOr, kTokNot, kTokOpen, kTokClose, kTokEnd };

struct Token {
    TokenKind m_nKind = kTokEnd;
    std::string m_strKeyword;
};

// The operator word at nPos and its length, or kTokKeyword. "and", "or" and "not" count only
// when a blank, a tab, a line break, a double quote or a parenthesis follows. At the very end
// of the text "and" and "or" are ordinary words ("rock and" looks for those words), while a
// final "not" still lacks its operand.
TokenKind OperatorAt(std::string_view text, size_t nPos, size_t& nLength)
{
    static constexpr std::pair<std::string_view, TokenKind> kWords[] = {
        {"and", kTokAnd}, {"or", kTokOr}, {"not", kTokNot}};
    for (const auto& [word, kind] : kWords) {
        if (text.size() - nPos < word.size())
            continue;
        bool same = true;
        for (size_t i = 0; i < word.size() && same; ++i)
            same = (text[nPos + i] | 0x20) == word[i];
        if (!same)
            continue;
        const size_t after = nPos + word.size();
        if (after == text.size()) {
            if (kind != kTokNot)
                continue;
        } else {
            const char c = text[after];
            if (!IsBlank(c) && c != '"' && c != '(' && c != ')')
                continue;
        }
        nLength = word.size();
        return kind;
    }
    return kTokKeyword;
}

// A keyword starting at nPos: it runs over blanks and ends before a parenthesis, before an
// operator word that follows a blank, or at the end. Inside double quotes nothing ends it,
// the quotes are dropped and a backslash makes the next character literal (a backslash at
// the very end stands for itself). Unquoted blanks around it are dropped.
std::string ReadKeyword(std::string_view text, size_t& nPos)
{
    std::string keyword;
    size_t kept = 0;        // length without unquoted trailing blanks
    bool quoted = false;
    while (nPos < text.size()) {
        const char c = text[nPos];
        if (quoted) {
            if (c == '"') {
                quoted = false;
            } else {
                if (c == '\\' && nPos + 1 < text.size())
                    ++nPos;
                keyword += text[nPos];
                kept = keyword.size();
            }
            ++nPos;
            continue;
        }
        if (c == '(' || c == ')')
            break;
        if (c == '"') {
            quoted = true;
        } else if (IsBlank(c)) {
            size_t length = 0;
            if (OperatorAt(text, nPos + 1, length) != kTokKeyword)
                break;
            if (!keyword.empty())
                keyword += c;
        } else {
            keyword += c;
            kept = keyword.size();
        }
        ++nPos;
    }
    keyword.resize(kept);
    return keyword;
}

std::vector<Token> Tokenize(std::string_view text)
{
    std::vector<Token> tokens;
    size_t pos = 0;
    while (true) {
        while (pos < text.size() && IsBlank(text[pos]))
            ++pos;
        if (pos == text.size())
            break;
        size_t length = 1;
        TokenKind kind = text[pos] == '(' ? kTokOpen : text[pos] == ')' ? kTokClose
                                                                         : OperatorAt(text, pos, length);
        if (kind != kTokKeyword) {
            tokens.push_back({kind, {}});
            pos += length;
            continue;
        }
        std::string keyword = ReadKeyword(text, pos);
        if (keyword.size() > CSearchExpression::kMaxKeywordLength) {
            Fail("Keyword '" + keyword + "' " +
                 std::to_string(keyword.size() - CSearchExpression::kMaxKeywordLength) +
                 " characters too long as there is a limit of " +
                 std::to_string(CSearchExpression::kMaxKeywordLength) + " characters");
        }
        if (!keyword.empty())
            tokens.push_back({kTokKeyword, std::move(keyword)});
    }
    return tokens;
}

// The parsed expression. "and" and "or" chains are kept as lists so that the depth of the tree
// follows the nesting of parentheses only.
struct Term {
    enum Kind { kKeyword, kAll, kAny, kNot } m_nKind = kKeyword;
    int m_nKeyword = -1;
    std::vector<size_t> m_children;     // indexes into the parser's terms
    size_t m_nSize = 0;                 // nodes it compiles to
};

class CParser {
public:
    explicit CParser(std::vector<Token> tokens) : m_tokens(std::move(tokens)) {}

    // The root term; keyword texts go to keywords, one entry per distinct folded keyword.
    size_t Parse(std::vector<std::string>& keywords, std::vector<std::string>& folded)
    {
        m_pKeywords = &keywords;
        m_pFolded = &folded;
        const size_t root = ParseExpression(0);
        if (Peek() != kTokEnd)
            Fail("Syntax Error");
        return root;
    }

    std::vector<Term> m_terms;

private:
    TokenKind Peek() const { return m_nNext < m_tokens.size() ? m_tokens[m_nNext].m_nKind : kTokEnd; }

    size_t Add(Term term)
    {
        term.m_nSize = (term.m_nKind == Term::kKeyword || term.m_nKind == Term::kNot) ? 1 : 0;
        for (size_t child : term.m_children)
            term.m_nSize += m_terms[child].m_nSize;
        m_terms.push_back(std::move(term));
        return m_terms.size() - 1;
    }

    // A chain of operands joined by one operator; a single operand stands for itself.
    size_t Chain(Term::Kind kind, std::vector<size_t> operands)
    {
        if (operands.size() == 1)
            return operands[0];
        return Add({kind, -1, std::move(operands)});
    }

    void ExpectRightOperand(const char* name)
    {
        const TokenKind next = Peek();
        if (next != kTokKeyword && next != kTokOpen && next != kTokNot)
            Fail(std::string("Expecting right hand side keyword for operator '") + name + "'");
    }

    size_t ParseExpression(int nDepth)
    {
        std::vector<size_t> operands{ParseAll(nDepth)};
        while (Peek() == kTokOr) {
            ++m_nNext;
            ExpectRightOperand("or");
            operands.push_back(ParseAll(nDepth));
        }
        return Chain(Term::kAny, std::move(operands));
    }

    size_t ParseAll(int nDepth)
    {
        std::vector<size_t> operands;
        ParseFactor(nDepth, operands);
        while (Peek() == kTokAnd) {
            ++m_nNext;
            ExpectRightOperand("and");
            ParseFactor(nDepth, operands);
        }
        return Chain(Term::kAll, std::move(operands));
    }

    // A factor is a primary or "not" primary, followed by any number of "not" primary; each
    // "A not B" is A and not B, so the factor's parts join the surrounding "and" list.
    void ParseFactor(int nDepth, std::vector<size_t>& operands)
    {
        if (Peek() != kTokNot)
            operands.push_back(ParsePrimary(nDepth));
        else
            operands.push_back(ParseNegation(nDepth));
        while (Peek() == kTokNot)
            operands.push_back(ParseNegation(nDepth));
    }

    size_t ParseNegation(int nDepth)
    {
        ++m_nNext;
        if (Peek() != kTokKeyword && Peek() != kTokOpen)
            Fail("Syntax Error");
        return Add({Term::kNot, -1, {ParsePrimary(nDepth)}});
    }

    size_t ParsePrimary(int nDepth)
    {
        switch (Peek()) {
        case kTokKeyword:
            return Add({Term::kKeyword, KeywordIndex(m_tokens[m_nNext++].m_strKeyword), {}});
        case kTokOpen: {
            if (nDepth >= CSearchExpression::kMaxNesting)
                Fail("Syntax Error");
            ++m_nNext;
            const size_t inner = ParseExpression(nDepth + 1);
            if (Peek() != kTokClose)
                Fail("Missing closing brace");
            ++m_nNext;
            return inner;
        }
        case kTokOr:
            Fail("Expecting left hand side keyword for operator 'or'");
        case kTokAnd:
            Fail("Expecting left hand side keyword for operator 'and'");
        case kTokEnd:
            Fail(nDepth > 0 ? "Missing closing brace" : "Syntax Error");
        default:
            Fail("Syntax Error");
        }
    }

    int KeywordIndex(const std::string& strKeyword)
    {
        std::string folded = textfold::FoldText(strKeyword);
        const auto found = std::find(m_pFolded->begin(), m_pFolded->end(), folded);
        if (found != m_pFolded->end())
            return static_cast<int>(found - m_pFolded->begin());
        m_pKeywords->push_back(strKeyword);
        m_pFolded->push_back(std::move(folded));
        return static_cast<int>(m_pFolded->size() - 1);
    }

    std::vector<Token> m_tokens;
    size_t m_nNext = 0;
    std::vector<std::string>* m_pKeywords = nullptr;
    std::vector<std::string>* m_pFolded = nullptr;
};

using Node = CSearchExpression::Node;

// Writes the nodes of a term from nStart on, so that it leads to nTrue when it holds and to
// nFalse when it does not.
void Emit(const std::vector<Term>& terms, size_t nTerm, size_t nStart, size_t nTrue, size_t nFalse,
          bool bNegated, std::vector<Node>& nodes)
{
    const Term& term = terms[nTerm];
    switch (term.m_nKind) {
    case Term::kKeyword:
        nodes[nStart] = {CSearchExpression::kKeywordTest, term.m_nKeyword, nTrue, nFalse, 0, bNegated};
        break;
    case Term::kNot: {
        const size_t negation = nStart + terms[term.m_children[0]].m_nSize;
        Emit(terms, term.m_children[0], nStart, negation, negation, !bNegated, nodes);
        nodes[negation] = {CSearchExpression::kNegation, -1, nTrue, nFalse, 0, bNegated};
        break;
    }
    case Term::kAll:
    case Term::kAny: {
        size_t pos = nStart;
        for (size_t i = 0; i < term.m_children.size(); ++i) {
            const size_t next = pos + terms[term.m_children[i]].m_nSize;
            const bool last = i + 1 == term.m_children.size();
            if (term.m_nKind == Term::kAll)
                Emit(terms, term.m_children[i], pos, last ? nTrue : next, nFalse, bNegated, nodes);
            else
                Emit(terms, term.m_children[i], pos, nTrue, last ? nFalse : next, bNegated, nodes);
            pos = next;
        }
        break;
    }
    }
}

void AppendHTMLEscaped(std::string_view text, std::string& out)
{
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c; break;
        }
    }
}

// The code point that ends just before nPos in well-formed UTF-8.
uint32_t CodePointBefore(const std::string& text, size_t nPos)
{
    size_t start = nPos - 1;
    while (start > 0 && nPos - start < 4 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80)
        --start;
    return textfold::DecodeUTF8(text, start);
}

}  // namespace

CSearchExpression::CSearchExpression(const std::string& strExpression, MatchMode mode)
    : m_nMode(mode)
{
    std::vector<Token> tokens = Tokenize(strExpression);
    if (tokens.empty())
        return;
    // Parentheses alone; with an operator among them the parser names what the operator lacks.
    if (std::all_of(tokens.begin(), tokens.end(),
                    [](const Token& t) { return t.m_nKind == kTokOpen || t.m_nKind == kTokClose; }))
        Fail("A search expression needs at least one keyword to be valid");

    CParser parser(std::move(tokens));
    std::vector<std::string> folded;
    const size_t root = parser.Parse(m_keywords, folded);

    const size_t count = 1 + parser.m_terms[root].m_nSize;
    m_nodes.resize(count);
    m_nodes[0] = {kStart, -1, 1, 1, count, false};
    Emit(parser.m_terms, root, 1, count, count + 1, false, m_nodes);

    m_patterns.resize(folded.size());
    for (size_t k = 0; k < folded.size(); ++k) {
        Pattern& pattern = m_patterns[k];
        pattern.m_strFolded = std::move(folded[k]);
        // The standard Horspool table: the distance from the end of each character but the
        // last, so that every shift moves at least one place.
        const size_t length = pattern.m_strFolded.size();
        pattern.m_skip.fill(length);
        for (size_t i = 0; i + 1 < length; ++i)
            pattern.m_skip[static_cast<unsigned char>(pattern.m_strFolded[i])] = length - 1 - i;
    }
}

size_t CSearchExpression::Find(const Pattern& pattern, const std::string& strFolded, size_t nFrom) const
{
    const std::string& key = pattern.m_strFolded;
    const size_t length = key.size();
    if (length == 0 || strFolded.size() < length)
        return std::string::npos;
    const size_t lastStart = strFolded.size() - length;
    for (size_t pos = nFrom; pos <= lastStart;) {
        const auto last = static_cast<unsigned char>(strFolded[pos + length - 1]);
        if (last == static_cast<unsigned char>(key[length - 1]) &&
            std::memcmp(strFolded.data() + pos, key.data(), length - 1) == 0) {
            const size_t end = pos + length;
            size_t after = end;
            if (m_nMode == kAnywhere ||
                ((pos == 0 || !textfold::IsWordCodePoint(CodePointBefore(strFolded, pos))) &&
                 (end == strFolded.size() || !textfold::IsWordCodePoint(textfold::DecodeUTF8(strFolded, after)))))
                return pos;
        }
        pos += pattern.m_skip[last];
    }
    return std::string::npos;
}

bool CSearchExpression::Matches(const std::vector<std::string>& texts, Hits* pHits) const
{
    if (m_nodes.empty())
        return false;
    // Each text is folded once, when a keyword first needs it; each keyword searched once.
    std::vector<std::optional<std::string>> folded(texts.size());
    std::vector<std::optional<size_t>> found(m_patterns.size());   // text index or npos
    const auto textWith = [&](int nKeyword) {
        std::optional<size_t>& answer = found[nKeyword];
        if (!answer) {
            answer = std::string::npos;
            for (size_t t = 0; t < texts.size(); ++t) {
                if (!folded[t])
                    folded[t] = textfold::FoldText(texts[t]);
                if (Find(m_patterns[nKeyword], *folded[t], 0) != std::string::npos) {
                    answer = t;
                    break;
                }
            }
        }
        return *answer;
    };

    bool result = false;
    size_t index = m_nodes[0].m_nTrue;
    while (index < m_nodes.size()) {
        const Node& node = m_nodes[index];
        if (node.m_nKind == kKeywordTest) {
            const size_t text = textWith(node.m_nKeyword);
            result = text != std::string::npos;
            if (result && pHits)
                pHits->push_back({index, text});
        } else if (node.m_nKind == kNegation) {
            result = !result;
        }
        index = result ? node.m_nTrue : node.m_nFalse;
    }
    return index == m_nodes[0].m_nEnd;
}

std::vector<int> CSearchExpression::MatchedKeywords(const Hits& hits) const
{
    std::vector<int> keywords;
    for (const Hit& hit : hits) {
        if (hit.m_nNode >= m_nodes.size())
            continue;
        const Node& node = m_nodes[hit.m_nNode];
        if (node.m_nKind != kKeywordTest || node.m_bNegated)
            continue;
        if (std::find(keywords.begin(), keywords.end(), node.m_nKeyword) == keywords.end())
            keywords.push_back(node.m_nKeyword);
    }
    return keywords;
}

std::string CSearchExpression::ListMatches(const Hits& hits) const
{
    std::string list;
    for (const int keyword : MatchedKeywords(hits)) {
        if (!list.empty())
            list += ", ";
        list += m_keywords[keyword];
    }
    return list;
}

std::string CSearchExpression::Highlight(const std::string& strText, const Hits& hits) const
{
    // Every occurrence is found in the original text first, so that markup never takes part
    // in the search; overlapping occurrences of different keywords share one highlight.
    std::vector<size_t> offsets;
    const std::string folded = textfold::FoldText(strText, &offsets);
    std::vector<std::pair<size_t, size_t>> spans;
    for (const int keyword : MatchedKeywords(hits)) {
        const Pattern& pattern = m_patterns[keyword];
        for (size_t pos = Find(pattern, folded, 0); pos != std::string::npos;
             pos = Find(pattern, folded, pos + pattern.m_strFolded.size()))
            spans.emplace_back(offsets[pos], offsets[pos + pattern.m_strFolded.size()]);
    }
    std::sort(spans.begin(), spans.end());

    static constexpr std::string_view kOpen = "<font bgcolor=\"highlight-background\">";
    static constexpr std::string_view kClose = "</font>";
    std::string html;
    size_t written = 0;
    for (size_t i = 0; i < spans.size();) {
        const size_t start = spans[i].first;
        size_t end = spans[i].second;
        for (++i; i < spans.size() && spans[i].first < end; ++i)
            end = std::max(end, spans[i].second);
        AppendHTMLEscaped(std::string_view(strText).substr(written, start - written), html);
        html += kOpen;
        AppendHTMLEscaped(std::string_view(strText).substr(start, end - start), html);
        html += kClose;
        written = end;
    }
    AppendHTMLEscaped(std::string_view(strText).substr(written), html);
    return html;
}
