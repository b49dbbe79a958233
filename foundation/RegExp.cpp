// The pattern is compiled into a chain of nodes linked by "next"; alternatives and complex
// repetitions become Branch nodes whose operands loop back through Back nodes. Matching walks
// the chain and backtracks by recursion at Branch, Open/Close and repetition nodes, with a
// bound on depth and on steps so that no text can make a search run away.
#include "foundation/RegExp.h"

namespace {

constexpr size_t kMaxPatternLength = 8192;
constexpr size_t kMaxGroups = 32;
constexpr unsigned kMaxDepth = 4000;
constexpr uint64_t kMaxSteps = 4000000;

bool IsWordChar(unsigned char c) {
    // Bytes of multi-byte UTF-8 sequences count as letters.
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
           c >= 0x80;
}

}  // namespace

const char* CRegExpException::GetText() const {
    if (m_nCode >= 0) return "no errors detected";
    switch (m_nCode) {
    case kTooBig: return "regexp too big";
    case kTooManyGroups: return "too many ()";
    case kUnmatchedParen: return "unmatched ()";
    case kJunkOnEnd: return "junk on end";
    case kEmptyOperand: return "*+ operand could be empty";
    case kNestedRepeat: return "nested *?+";
    case kInvalidRange: return "invalid [] range";
    case kUnmatchedBracket: return "unmatched []";
    case kRepeatFollowsNothing: return "?+* follows nothing";
    case kTrailingBackslash: return "trailing \\";
    case kTooComplex: return "regexp too complex to match";
    default: return "unknown regexp error";
    }
}

size_t CRegExpMatch::GetLength(size_t n) const {
    return HasGroup(n) && m_groups[n].end != npos ? m_groups[n].end - m_groups[n].start : 0;
}

std::string CRegExpMatch::GetText(size_t n) const {
    if (!HasGroup(n) || m_groups[n].end == npos) return {};
    return m_strSubject.substr(m_groups[n].start, m_groups[n].end - m_groups[n].start);
}

// ---- Compiling ----

CRegExp::CRegExp(std::string_view pattern) {
    if (pattern.size() > kMaxPatternLength) throw CRegExpException(CRegExpException::kTooBig);
    m_pattern = pattern;
    unsigned flags = 0;
    m_nStart = ParseAlternation(false, flags);
    m_pattern = {};
}

int CRegExp::Emit(Op op) {
    m_nodes.push_back(Node{});
    m_nodes.back().op = op;
    return static_cast<int>(m_nodes.size() - 1);
}

// Links the last node of the chain that starts at chain to target.
void CRegExp::Tail(int chain, int target) {
    int n = chain;
    while (m_nodes[n].next >= 0) n = m_nodes[n].next;
    m_nodes[n].next = target;
}

int CRegExp::ParseAlternation(bool parenthesised, unsigned& flags) {
    int first = -1;
    int group = 0;
    if (parenthesised) {
        if (m_nGroups >= kMaxGroups) throw CRegExpException(CRegExpException::kTooManyGroups);
        group = static_cast<int>(m_nGroups++);
        first = Emit(Op::Open);
        m_nodes[first].group = group;
    }
    flags = kHasWidth;
    std::vector<int> branches;
    for (;;) {
        unsigned branchFlags = 0;
        const int branch = ParseBranch(branchFlags);
        branches.push_back(branch);
        if (first < 0) first = branch;
        else Tail(first, branch);
        if (!(branchFlags & kHasWidth)) flags &= ~kHasWidth;
        if (AtEnd() || Peek() != '|') break;
        ++m_nPos;
    }
    const int ender = Emit(parenthesised ? Op::Close : Op::End);
    m_nodes[ender].group = group;
    Tail(first, ender);
    for (const int branch : branches) Tail(m_nodes[branch].operand, ender);

    if (parenthesised) {
        if (AtEnd() || Peek() != ')') throw CRegExpException(CRegExpException::kUnmatchedParen);
        ++m_nPos;
    } else if (!AtEnd()) {
        throw CRegExpException(Peek() == ')' ? CRegExpException::kUnmatchedParen
                                             : CRegExpException::kJunkOnEnd);
    }
    return first;
}

int CRegExp::ParseBranch(unsigned& flags) {
    const int branch = Emit(Op::Branch);
    flags = 0;
    int chain = -1;
    while (!AtEnd() && Peek() != '|' && Peek() != ')') {
        unsigned pieceFlags = 0;
        const int piece = ParsePiece(pieceFlags);
        flags |= pieceFlags & kHasWidth;
        if (chain < 0) {
            chain = piece;
            m_nodes[branch].operand = piece;
        } else {
            Tail(chain, piece);
        }
    }
    if (chain < 0) m_nodes[branch].operand = Emit(Op::Nothing);
    return branch;
}

int CRegExp::ParsePiece(unsigned& flags) {
    unsigned atomFlags = 0;
    const int atom = ParseAtom(atomFlags);
    flags = atomFlags;
    if (AtEnd()) return atom;
    const char op = Peek();
    if (op != '*' && op != '+' && op != '?') return atom;
    if (!(atomFlags & kHasWidth) && op != '?') throw CRegExpException(CRegExpException::kEmptyOperand);
    ++m_nPos;

    int result = atom;
    if (op != '?' && (atomFlags & kSimple)) {
        result = Emit(op == '*' ? Op::Star : Op::Plus);
        m_nodes[result].operand = atom;
    } else {
        // x* : Branch(x, Back -> loop) | Branch(Nothing)
        // x+ : x, Branch(Back -> x) | Branch(Nothing)
        // x? : Branch(x) | Branch(Nothing)
        const int loop = Emit(Op::Branch);
        const int skip = Emit(Op::Branch);
        const int nothing = Emit(Op::Nothing);
        m_nodes[loop].next = skip;
        m_nodes[skip].operand = nothing;
        m_nodes[skip].next = nothing;
        if (op == '?') {
            m_nodes[loop].operand = atom;
            Tail(atom, nothing);
            result = loop;
        } else {
            const int back = Emit(Op::Back);
            if (op == '*') {
                m_nodes[loop].operand = atom;
                Tail(atom, back);
                m_nodes[back].next = loop;
                result = loop;
            } else {
                m_nodes[loop].operand = back;
                m_nodes[back].next = atom;
                Tail(atom, loop);
                result = atom;
            }
        }
    }
    flags = (op == '+') ? unsigned(kHasWidth) : 0u;
    if (!AtEnd() && (Peek() == '*' || Peek() == '+' || Peek() == '?'))
        throw CRegExpException(CRegExpException::kNestedRepeat);
    return result;
}

int CRegExp::ParseAtom(unsigned& flags) {
    const char c = Peek();
    ++m_nPos;
    flags = kHasWidth | kSimple;
    int node = -1;
    switch (c) {
    case '^': flags = 0; return Emit(Op::Bol);
    case '$': flags = 0; return Emit(Op::Eol);
    case '.': return Emit(Op::Any);
    case '[': return ParseSet();
    case '(': {
        unsigned groupFlags = 0;
        node = ParseAlternation(true, groupFlags);
        flags = groupFlags & kHasWidth;
        return node;
    }
    case '|':
    case ')': throw CRegExpException(CRegExpException::kUnmatchedParen);
    case '*':
    case '+':
    case '?': throw CRegExpException(CRegExpException::kRepeatFollowsNothing);
    case '\\': {
        if (AtEnd()) throw CRegExpException(CRegExpException::kTrailingBackslash);
        const char escaped = Peek();
        ++m_nPos;
        if (escaped == 'd') return Emit(Op::Digit);
        if (escaped == '<' || escaped == '>') {
            flags = 0;
            return Emit(escaped == '<' ? Op::WordStart : Op::WordEnd);
        }
        node = Emit(Op::Char);
        m_nodes[node].ch = static_cast<unsigned char>(escaped);
        return node;
    }
    default:
        node = Emit(Op::Char);
        m_nodes[node].ch = static_cast<unsigned char>(c);
        return node;
    }
}

// After "[": a set of characters, ranges "a-z", "\d" and escaped characters, up to "]".
// A "]" or "-" right after the opening (or after "^") stands for itself, as does a "-" last.
int CRegExp::ParseSet() {
    std::bitset<256> set;
    bool negate = false;
    if (!AtEnd() && Peek() == '^') {
        negate = true;
        ++m_nPos;
    }
    int previous = -1;   // the last single character added, the low end of a range
    if (!AtEnd() && (Peek() == ']' || Peek() == '-')) {
        previous = static_cast<unsigned char>(Peek());
        set.set(previous);
        ++m_nPos;
    }
    auto takeChar = [this](bool& isDigitClass) -> int {
        isDigitClass = false;
        unsigned char c = static_cast<unsigned char>(Peek());
        ++m_nPos;
        if (c == '\\') {
            if (AtEnd()) throw CRegExpException(CRegExpException::kUnmatchedBracket);
            c = static_cast<unsigned char>(Peek());
            ++m_nPos;
            if (c == 'd') isDigitClass = true;
        }
        return c;
    };
    while (!AtEnd() && Peek() != ']') {
        if (Peek() == '-' && previous >= 0 && m_nPos + 1 < m_pattern.size() && m_pattern[m_nPos + 1] != ']') {
            ++m_nPos;
            bool digits = false;
            const int high = takeChar(digits);
            if (digits || high < previous) throw CRegExpException(CRegExpException::kInvalidRange);
            for (int ch = previous; ch <= high; ++ch) set.set(ch);
            previous = -1;
            continue;
        }
        bool digits = false;
        const int c = takeChar(digits);
        if (digits) {
            for (int ch = '0'; ch <= '9'; ++ch) set.set(ch);
            previous = -1;
        } else {
            set.set(c);
            previous = c;
        }
    }
    if (AtEnd()) throw CRegExpException(CRegExpException::kUnmatchedBracket);
    ++m_nPos;
    if (negate) set.flip();
    const int node = Emit(Op::Set);
    m_nodes[node].set = set;
    return node;
}

// ---- Matching ----

class CRegExp::Matcher {
public:
    Matcher(const std::vector<Node>& nodes, std::string_view text, size_t groups)
        : m_nodes(nodes), m_text(text), m_groups(groups) {}

    bool MatchAt(int start, size_t pos) {
        for (auto& g : m_groups) g = CRegExpMatch::Group{};
        if (!Run(start, pos, 0)) return false;
        m_groups[0] = CRegExpMatch::Group{pos, m_nEnd};
        return true;
    }
    const std::vector<CRegExpMatch::Group>& Groups() const { return m_groups; }

private:
    bool Single(const Node& node, unsigned char c) const {
        switch (node.op) {
        case Op::Any: return true;
        case Op::Char: return c == node.ch;
        case Op::Digit: return c >= '0' && c <= '9';
        case Op::Set: return node.set.test(c);
        default: return false;
        }
    }

    void Step(uint64_t n = 1) {
        m_nSteps += n;
        if (m_nSteps > kMaxSteps) throw CRegExpException(CRegExpException::kTooComplex);
    }

    bool Run(int n, size_t pos, unsigned depth) {
        if (depth > kMaxDepth) throw CRegExpException(CRegExpException::kTooComplex);
        const size_t len = m_text.size();
        while (n >= 0) {
            Step();
            const Node& node = m_nodes[n];
            switch (node.op) {
            case Op::End:
                m_nEnd = pos;
                return true;
            case Op::Bol:
                if (pos != 0) return false;
                break;
            case Op::Eol:
                if (pos != len) return false;
                break;
            case Op::Any:
            case Op::Char:
            case Op::Digit:
            case Op::Set:
                if (pos >= len || !Single(node, static_cast<unsigned char>(m_text[pos]))) return false;
                ++pos;
                break;
            case Op::WordStart:
                if (pos >= len || !IsWordChar(m_text[pos]) || (pos > 0 && IsWordChar(m_text[pos - 1])))
                    return false;
                break;
            case Op::WordEnd:
                if (pos == 0 || !IsWordChar(m_text[pos - 1]) || (pos < len && IsWordChar(m_text[pos])))
                    return false;
                break;
            case Op::Nothing:
            case Op::Back:
                break;
            case Op::Open:
            case Op::Close: {
                size_t& slot = node.op == Op::Open ? m_groups[node.group].start : m_groups[node.group].end;
                const size_t saved = slot;
                slot = pos;
                if (Run(node.next, pos, depth + 1)) return true;
                slot = saved;
                return false;
            }
            case Op::Branch:
                if (m_nodes[node.next].op != Op::Branch) {   // a single alternative: no choice
                    n = node.operand;
                    continue;
                }
                for (int b = n; b >= 0 && m_nodes[b].op == Op::Branch; b = m_nodes[b].next)
                    if (Run(m_nodes[b].operand, pos, depth + 1)) return true;
                return false;
            case Op::Star:
            case Op::Plus: {
                const Node& item = m_nodes[node.operand];
                size_t count = 0;
                while (pos + count < len && Single(item, static_cast<unsigned char>(m_text[pos + count]))) ++count;
                Step(count);
                const size_t least = node.op == Op::Plus ? 1 : 0;
                const Node* after = node.next >= 0 ? &m_nodes[node.next] : nullptr;
                for (size_t i = count + 1; i-- > least;) {
                    if (after && after->op == Op::Char && (pos + i >= len || static_cast<unsigned char>(m_text[pos + i]) != after->ch))
                        continue;
                    if (Run(node.next, pos + i, depth + 1)) return true;
                }
                return false;
            }
            }
            n = node.next;
        }
        return false;
    }

    const std::vector<Node>& m_nodes;
    std::string_view m_text;
    std::vector<CRegExpMatch::Group> m_groups;
    size_t m_nEnd = 0;
    uint64_t m_nSteps = 0;
};

bool CRegExp::Search(std::string_view text, CRegExpMatch& match, size_t from) const {
    match.m_groups.assign(m_nGroups, CRegExpMatch::Group{});
    match.m_strSubject.clear();
    if (from > text.size()) return false;
    Matcher matcher(m_nodes, text, m_nGroups);
    for (size_t start = from; start <= text.size(); ++start) {
        if (matcher.MatchAt(m_nStart, start)) {
            match.m_groups = matcher.Groups();
            match.m_strSubject.assign(text);
            return true;
        }
    }
    return false;
}

bool CRegExp::Search(std::string_view text) const {
    CRegExpMatch match;
    return Search(text, match);
}
