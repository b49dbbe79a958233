// Keyword search expressions: keyword search checked against a plain reference matcher at every
// position and in both modes, random expressions against a reference evaluator, the grammar's
// edge cases and messages, and highlighting.
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/Exceptions.h"
#include "foundation/TextFold.h"
#include "listings/SearchExpression.h"

namespace {

using Mode = CSearchExpression::MatchMode;
constexpr Mode kWords = CSearchExpression::kWholeWords;
constexpr Mode kAnywhere = CSearchExpression::kAnywhere;

// The reference: try every byte offset of the folded text; in word mode the characters on
// either side must not be letters or digits.
bool Occurs(const std::string& keyword, const std::string& text, Mode mode)
{
    const std::string k = textfold::FoldText(keyword);
    const std::string t = textfold::FoldText(text);
    const auto lastCodePoint = [](const std::string& s) {
        uint32_t last = 0;
        for (size_t pos = 0; pos < s.size();)
            last = textfold::DecodeUTF8(s, pos);
        return last;
    };
    for (size_t i = 0; !k.empty() && i + k.size() <= t.size(); ++i) {
        if (t.compare(i, k.size(), k) != 0)
            continue;
        if (mode == kAnywhere)
            return true;
        size_t after = i + k.size();
        const bool startsWord = i == 0 || !textfold::IsWordCodePoint(lastCodePoint(t.substr(0, i)));
        const bool endsWord = after == t.size() || !textfold::IsWordCodePoint(textfold::DecodeUTF8(t, after));
        if (startsWord && endsWord)
            return true;
    }
    return false;
}

// A keyword written so that the expression reads it as one keyword whatever it holds.
std::string Quoted(const std::string& keyword)
{
    std::string quoted = "\"";
    for (const char c : keyword) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

std::string CompileError(const std::string& expression)
{
    try {
        CSearchExpression search(expression, kWords);
    } catch (CBaseException* e) {
        std::string text = std::to_string(e->m_nCode) + ": " + e->GetText();
        e->Delete();
        return text;
    }
    return "compiled";
}

bool Matches(const std::string& expression, const std::string& text, Mode mode = kWords)
{
    return CSearchExpression(expression, mode).Matches({text});
}

}  // namespace

TEST(SearchExpression, KeywordSearchAgreesWithTheReferenceAtEveryPosition)
{
    const std::vector<std::string> keywords = {"news", "a", "aa", "abab", "café", "ÉTÉ", "x y",
                                               "o'neil", "2001", "(live)", "NE\xFF"};
    const std::vector<std::string> neighbours = {"", " ", "x", "9", ",", "(", ")", "é", "-", "\xFF",
                                                 "ß", "\xE2\x80\x94", "\xC2\xA0", "_"};
    const std::vector<std::string> fillers = {"seas", "aaaaaaa", "ababababa", "new newsnews nEwS",
                                              "Caf\xC3\xA9s and CAF\xC3\x89 'o'neil'", "ete \xC3\xA9t\xC3\xA9 \xC3\x89T\xC3\x89S"};
    int checked = 0;
    for (const std::string& keyword : keywords) {
        // The keyword as written and with its ASCII letters in the other case.
        std::string swapped = keyword;
        for (char& c : swapped)
            if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
                c ^= 0x20;
        for (const Mode mode : {kWords, kAnywhere}) {
            const CSearchExpression search(Quoted(keyword), mode);
            ASSERT_EQ(search.GetKeywords(), std::vector<std::string>{keyword});
            for (const std::string& filler : fillers) {
                std::vector<std::string> texts = {filler};
                for (size_t at = 0; at <= filler.size(); ++at)
                    for (const std::string& before : neighbours)
                        for (const std::string& after : {std::string(), std::string(","), std::string("s")})
                            texts.push_back(filler.substr(0, at) + before + swapped + after + filler.substr(at));
                for (const std::string& text : texts) {
                    EXPECT_EQ(search.Matches({text}), Occurs(keyword, text, mode))
                        << "keyword '" << keyword << "' in '" << text << "' mode " << mode;
                    ++checked;
                }
            }
        }
    }
    EXPECT_GT(checked, 10000);
}

TEST(SearchExpression, AdversarialTextsEndAndFindWhatIsThere)
{
    struct Case { const char* keyword; const char* text; Mode mode; bool found; };
    const Case cases[] = {
        {"news", "seas", kWords, false},            // the last character repeats the table's
        {"news", "seas", kAnywhere, false},
        {"ss", "s", kAnywhere, false},               // text shorter than the keyword
        {"news", "newsy news", kWords, true},        // a rejected word still moves the search on
        {"news", "newsy newsroom", kWords, false},
        {"news", "newsy newsroom", kAnywhere, true},
        {"aab", "aaaaaaaaaaaaaaaaab", kAnywhere, true},
        {"news", "NEWS", kWords, true},
        {"film", "(film)", kWords, true},
        {"film", "film, drama", kWords, true},
        {"film", "films", kWords, false},
        {"film", "xfilm", kWords, false},
        {"caf", "café", kWords, false},             // é is a letter
        {"café", "«café»", kWords, true},
        {"news", "", kAnywhere, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Matches(Quoted(c.keyword), c.text, c.mode), c.found) << c.keyword << " in " << c.text;
        EXPECT_EQ(Occurs(c.keyword, c.text, c.mode), c.found) << "reference: " << c.keyword << " in " << c.text;
    }
}

TEST(SearchExpression, RandomExpressionsAgreeWithAReferenceEvaluator)
{
    const std::vector<std::string> pool = {"news", "sport", "film", "Café", "late show"};
    const std::vector<std::string> operators[] = {{"or", "OR", "Or"}, {"and", "AND", "aNd"}, {"not", "NOT"}};
    const std::vector<std::string> gaps = {" ", "  ", "\t", "\r\n"};
    std::mt19937 random(20261211);
    const auto pick = [&random](const auto& list) -> const auto& {
        return list[std::uniform_int_distribution<size_t>(0, list.size() - 1)(random)];
    };
    using Texts = std::vector<std::string>;
    // Builds an expression text and the function that evaluates it the plain way.
    std::function<std::string(int, std::function<bool(const Texts&, Mode)>&)> build =
        [&](int depth, std::function<bool(const Texts&, Mode)>& eval) -> std::string {
        const int kind = depth == 0 ? 0 : std::uniform_int_distribution<int>(0, 4)(random);
        if (kind == 0) {
            const std::string keyword = pick(pool);
            eval = [keyword](const Texts& texts, Mode mode) {
                for (const std::string& text : texts)
                    if (Occurs(keyword, text, mode))
                        return true;
                return false;
            };
            return random() % 2 ? Quoted(keyword) : keyword;
        }
        std::function<bool(const Texts&, Mode)> left, right;
        const std::string a = build(depth - 1, left);
        if (kind == 4) {
            eval = [left](const Texts& t, Mode m) { return !left(t, m); };
            return "(" + pick(operators[2]) + pick(gaps) + "(" + a + "))";
        }
        const std::string b = build(depth - 1, right);
        const std::string op = kind == 1 ? pick(operators[0]) : kind == 2 ? pick(operators[1]) : pick(operators[2]);
        if (kind == 1)
            eval = [left, right](const Texts& t, Mode m) { return left(t, m) || right(t, m); };
        else if (kind == 2)
            eval = [left, right](const Texts& t, Mode m) { return left(t, m) && right(t, m); };
        else
            eval = [left, right](const Texts& t, Mode m) { return left(t, m) && !right(t, m); };
        return "(" + a + ")" + pick(gaps) + op + pick(gaps) + "(" + b + ")";
    };
    const std::vector<std::string> words = {"news", "NEWSY", "sport,", "(film)", "café", "CAFÉ!", "late",
                                            "show", "late show", "x", "films"};
    for (int round = 0; round < 1500; ++round) {
        std::function<bool(const Texts&, Mode)> eval;
        const std::string expression = build(std::uniform_int_distribution<int>(0, 5)(random), eval);
        Texts texts(std::uniform_int_distribution<size_t>(0, 3)(random));
        for (std::string& text : texts)
            for (int n = std::uniform_int_distribution<int>(0, 4)(random); n > 0; --n)
                text += pick(words) + " ";
        for (const Mode mode : {kWords, kAnywhere}) {
            const CSearchExpression search(expression, mode);
            CSearchExpression::Hits hits;
            ASSERT_EQ(search.Matches(texts, &hits), eval(texts, mode)) << expression << " mode " << mode;
            // Each hit names a keyword test and the first text that holds the keyword.
            for (const auto& hit : hits) {
                const auto& node = search.GetNodes()[hit.m_nNode];
                ASSERT_EQ(node.m_nKind, CSearchExpression::kKeywordTest);
                const std::string& keyword = search.GetKeywords()[node.m_nKeyword];
                ASSERT_LT(hit.m_nText, texts.size());
                EXPECT_TRUE(Occurs(keyword, texts[hit.m_nText], mode));
                for (size_t t = 0; t < hit.m_nText; ++t)
                    EXPECT_FALSE(Occurs(keyword, texts[t], mode));
            }
        }
    }
}

TEST(SearchExpression, OperatorsBindOrLooserThanAndLooserThanNot)
{
    struct Case { const char* expression; const char* text; bool matches; };
    const Case cases[] = {
        {"a or b and c", "a", true},          // a or (b and c)
        {"a or b and c", "b", false},
        {"a and b or c", "c", true},          // (a and b) or c
        {"a not b or c", "a b c", true},      // (a and not b) or c
        {"a not b or c", "a b", false},
        {"a not b not c", "a c", false},      // a and not b and not c
        {"a not b not c", "a", true},
        {"not a and b", "b", true},           // (not a) and b
        {"not a and b", "a b", false},
        {"not (a or b)", "c", true},
        {"a and (b or c)", "a c", true},
        {"NOT a", "A", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Matches(c.expression, c.text), c.matches) << c.expression << " on " << c.text;
}

TEST(SearchExpression, KeywordsAsTheTokenizerReadsThem)
{
    struct Case { std::string expression; std::vector<std::string> keywords; };
    const std::string long256(256, 'k');
    const Case cases[] = {
        {"rock and", {"rock and"}},                      // a final "and" is a word
        {"and", {"and"}},
        {"news or", {"news or"}},
        {"\"this or (that)\"", {"this or (that)"}},
        {"  news\t ", {"news"}},
        {"\" spaced \" or x", {" spaced ", "x"}},
        {"\"a\\\"b\\\\\"", {"a\"b\\"}},
        {"\"abc\\", {"abc\\"}},                          // a final backslash stands for itself
        {"Brand new", {"Brand new"}},
        {"band or orchestra", {"band", "orchestra"}},
        {"News AND sport", {"News", "sport"}},
        {"news\tor\nsport", {"news", "sport"}},
        {"news or\"sport\"", {"news", "sport"}},
        {"x notable", {"x notable"}},
        {"news or NEWS", {"news"}},
        {"(news)or(sport)", {"news", "sport"}},
        {"half-time score", {"half-time score"}},
        {long256, {long256}},
    };
    for (const Case& c : cases) {
        try {
            EXPECT_EQ(CSearchExpression(c.expression, kWords).GetKeywords(), c.keywords) << c.expression;
        } catch (CBaseException* e) {
            ADD_FAILURE() << c.expression << ": " << e->GetText();
            e->Delete();
        }
    }
    for (const char* empty : {"", "  \t", "\"\""}) {
        const CSearchExpression search(empty, kAnywhere);
        EXPECT_TRUE(search.GetNodes().empty());
        EXPECT_FALSE(search.Matches({"anything", ""}));
    }
}

TEST(SearchExpression, CompileErrors)
{
    const std::string nested64 = std::string(64, '(') + "x" + std::string(64, ')');
    const std::string nested65 = std::string(65, '(') + "x" + std::string(65, ')');
    const std::string long257 = std::string(257, 'k');
    struct Case { std::string expression; std::string error; };
    const Case cases[] = {
        {"or news", "3: Expecting left hand side keyword for operator 'or'"},
        {"(or news)", "3: Expecting left hand side keyword for operator 'or'"},
        {"news or and film", "3: Expecting right hand side keyword for operator 'or'"},
        {"(news or )", "3: Expecting right hand side keyword for operator 'or'"},
        {"and news", "3: Expecting left hand side keyword for operator 'and'"},
        {"news or (and film)", "3: Expecting left hand side keyword for operator 'and'"},
        {"(news and)", "3: Expecting right hand side keyword for operator 'and'"},
        {"(news", "3: Missing closing brace"},
        {"((news) or film", "3: Missing closing brace"},
        {"news and (", "3: Missing closing brace"},
        {"not", "3: Syntax Error"},
        {"news not", "3: Syntax Error"},
        {"(not)", "3: Syntax Error"},
        {"not not news", "3: Syntax Error"},
        {"news)", "3: Syntax Error"},
        {"(news) film", "3: Syntax Error"},
        {"news (film)", "3: Syntax Error"},
        {nested64, "compiled"},
        {nested65, "3: Syntax Error"},
        {std::string(100000, '(') + "x", "3: Syntax Error"},
        {"x or " + long257, "3: Keyword '" + long257 + "' 1 characters too long as there is a limit of 256 characters"},
        {"\"" + long257 + "0123\"", "3: Keyword '" + long257 + "0123' 5 characters too long as there is a limit of 256 characters"},
        {"()", "3: A search expression needs at least one keyword to be valid"},
        {"( ( ) )", "3: A search expression needs at least one keyword to be valid"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CompileError(c.expression), c.error) << c.expression.substr(0, 80);
}

TEST(SearchExpression, EvaluationStopsAsSoonAsTheResultIsKnown)
{
    const CSearchExpression either("news or sport", kWords);
    // Start, then the two tests: news leads to the end when true and to sport when false.
    const auto& nodes = either.GetNodes();
    ASSERT_EQ(nodes.size(), 3u);
    EXPECT_EQ(nodes[0].m_nKind, CSearchExpression::kStart);
    EXPECT_EQ(nodes[0].m_nEnd, 3u);
    EXPECT_EQ(nodes[1].m_nTrue, 3u);
    EXPECT_EQ(nodes[1].m_nFalse, 2u);

    CSearchExpression::Hits hits;
    EXPECT_TRUE(either.Matches({"sport", "news and sport"}, &hits));
    ASSERT_EQ(hits.size(), 1u);                      // sport was never tried
    EXPECT_EQ(hits[0].m_nNode, 1u);
    EXPECT_EQ(hits[0].m_nText, 1u);

    hits.clear();
    EXPECT_FALSE(CSearchExpression("news and sport", kWords).Matches({"sport only"}, &hits));
    EXPECT_TRUE(hits.empty());
}

TEST(SearchExpression, ListsAndHighlightsTheKeywordsThatMadeTheMatch)
{
    const auto highlight = [](const std::string& expression, const std::string& text, Mode mode,
                              std::string* pList = nullptr) {
        const CSearchExpression search(expression, mode);
        CSearchExpression::Hits hits;
        EXPECT_TRUE(search.Matches({text}, &hits)) << expression;
        if (pList)
            *pList = search.ListMatches(hits);
        return search.Highlight(text, hits);
    };
    const std::string open = "<font bgcolor=\"highlight-background\">";
    const std::string close = "</font>";

    // "font" is searched in the text, never in the markup put around "red".
    std::string list;
    EXPECT_EQ(highlight("red and font", "red font <b> & \"x\"", kWords, &list),
              open + "red" + close + " " + open + "font" + close + " &lt;b&gt; &amp; &quot;x&quot;");
    EXPECT_EQ(list, "red, font");
    EXPECT_EQ(highlight("red or RED", "Red car, red bus; redder", kWords, &list),
              open + "Red" + close + " car, " + open + "red" + close + " bus; redder");
    EXPECT_EQ(list, "red");
    // A keyword under "not" is never shown as matched.
    EXPECT_EQ(highlight("(bus not red) or car", "bus red car", kWords, &list),
              open + "bus" + close + " red " + open + "car" + close);
    EXPECT_EQ(list, "bus, car");
    // Overlapping keywords share one highlight; folded lengths that differ keep the original text.
    EXPECT_EQ(highlight("news and ewsf", "Newsflash", kAnywhere), open + "Newsf" + close + "lash");
    EXPECT_EQ(highlight("istanbul", "İSTANBUL, İstanbul", kWords),
              open + "İSTANBUL" + close + ", " + open + "İstanbul" + close);
    EXPECT_EQ(highlight("a", "aaa", kAnywhere), open + "a" + close + open + "a" + close + open + "a" + close);
}
