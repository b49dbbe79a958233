// Feeds arbitrary bytes to keyword search expressions: the first line is the expression, the
// rest the text. Compiling fails only with the search's own exception; matching ends; and the
// highlighted text, with its markup taken out and its entities read back, is the text itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "foundation/Exceptions.h"
#include "listings/SearchExpression.h"

namespace {

std::string Unhighlight(std::string_view html)
{
    static constexpr std::string_view kMarkup[] = {"<font bgcolor=\"highlight-background\">", "</font>"};
    static constexpr std::pair<std::string_view, char> kEntities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}};
    std::string text;
    int open = 0;
    for (size_t i = 0; i < html.size();) {
        bool replaced = false;
        for (size_t m = 0; m < 2 && !replaced; ++m) {
            if (html.substr(i, kMarkup[m].size()) == kMarkup[m]) {
                open += m == 0 ? 1 : -1;
                if (open < 0 || open > 1) std::abort();
                i += kMarkup[m].size();
                replaced = true;
            }
        }
        for (const auto& [entity, c] : kEntities) {
            if (!replaced && html.substr(i, entity.size()) == entity) {
                text += c;
                i += entity.size();
                replaced = true;
            }
        }
        if (!replaced) {
            if (html[i] == '<' || html[i] == '>' || html[i] == '"') std::abort();
            text += html[i++];
        }
    }
    if (open != 0) std::abort();
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t lineEnd = input.find('\n');
    const std::string expression = input.substr(0, lineEnd);
    const std::string text = lineEnd == std::string::npos ? std::string() : input.substr(lineEnd + 1);
    for (const auto mode : {CSearchExpression::kWholeWords, CSearchExpression::kAnywhere}) {
        try {
            const CSearchExpression search(expression, mode);
            CSearchExpression::Hits hits;
            search.Matches({text, expression}, &hits);
            if (Unhighlight(search.Highlight(text, hits)) != text) std::abort();
        } catch (CBaseException* e) {
            if (e->m_nCode != 3) std::abort();
            e->Delete();
        }
    }
    return 0;
}
