// Jet-dialect translation: the pattern matcher, the LIKE translation and a
// small parser for the statement shapes the program uses.
#include "data/JetSql.h"

#include "data/DataConstants.h"
#include "log/NumberParse.h"

#include <sqlite3.h>

#include <cctype>
#include <cstdlib>

namespace kv {

namespace {

const std::vector<std::string> kPbookCols = {"storage_type", "index", "name", "phone_number"};
const std::vector<std::string> kSmsCols = {"index", "tag_type", "time", "cb_number", "new_flag", "encoding", "message"};
const std::vector<std::string> kVcallCols = {"storage_type", "index", "name", "phone_number", "time", "call_time"};

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// One character of UTF-8 text as a code point (a stray byte stands alone).
uint32_t NextChar(std::string_view s, size_t& i)
{
    unsigned char c = static_cast<unsigned char>(s[i]);
    int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
    if (i + len > s.size())
        len = 1;
    for (int k = 1; k < len; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
            len = 1;
    uint32_t cp = len == 1 ? c : c & (0x7F >> len);
    for (int k = 1; k < len; ++k)
        cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    i += len;
    return cp;
}

uint32_t Fold(uint32_t c) { return c < 0x80 ? static_cast<uint32_t>(std::tolower(static_cast<int>(c))) : c; }

// One element of a parsed pattern.
struct PatItem {
    enum Kind { Any, One, Digit, Lit, Set } kind;
    uint32_t ch = 0;                                  // Lit
    bool negate = false;                              // Set
    std::vector<std::pair<uint32_t, uint32_t>> ranges; // Set
    bool empty = false;                               // "[]": matches no character, zero length
};

bool ParsePattern(std::string_view p, std::vector<PatItem>& items)
{
    size_t i = 0;
    while (i < p.size()) {
        char c = p[i];
        if (c == '*') {
            ++i;
            items.push_back({PatItem::Any});
        } else if (c == '?') {
            ++i;
            items.push_back({PatItem::One});
        } else if (c == '#') {
            ++i;
            items.push_back({PatItem::Digit});
        } else if (c == '[') {
            size_t close = p.find(']', i + 1);
            if (close == std::string_view::npos)
                return false;
            std::string_view body = p.substr(i + 1, close - i - 1);
            i = close + 1;
            PatItem it{PatItem::Set};
            if (body.empty()) {
                it.empty = true;
                items.push_back(it);
                continue;
            }
            // "[!]" is the escaped exclamation mark, not an empty negation.
            if (body.size() > 1 && body[0] == '!') {
                it.negate = true;
                body.remove_prefix(1);
            }
            size_t k = 0;
            while (k < body.size()) {
                uint32_t lo = NextChar(body, k), hi = lo;
                if (k + 1 < body.size() && body[k] == '-') {
                    ++k;
                    hi = NextChar(body, k);
                    if (hi < lo)
                        return false;
                }
                it.ranges.emplace_back(lo, hi);
            }
            items.push_back(it);
        } else {
            PatItem it{PatItem::Lit};
            it.ch = NextChar(p, i);
            items.push_back(it);
        }
    }
    return true;
}

bool SetHas(const PatItem& it, uint32_t c)
{
    uint32_t f = Fold(c);
    for (auto [lo, hi] : it.ranges) {
        if ((c >= lo && c <= hi) || (f >= Fold(lo) && f <= Fold(hi)))
            return true;
        // Upper-case ranges match lower-case letters too.
        if (c < 0x80 && std::isalpha(static_cast<int>(c))) {
            uint32_t u = static_cast<uint32_t>(std::toupper(static_cast<int>(c)));
            if (u >= lo && u <= hi)
                return true;
        }
    }
    return false;
}

// Iterative glob match with one backtrack point per star.
bool MatchItems(const std::vector<PatItem>& items, std::string_view text)
{
    std::vector<uint32_t> t;
    for (size_t i = 0; i < text.size();)
        t.push_back(NextChar(text, i));
    size_t pi = 0, ti = 0, starP = SIZE_MAX, starT = 0;
    while (true) {
        if (pi < items.size()) {
            const PatItem& it = items[pi];
            if (it.kind == PatItem::Any) {
                starP = pi++;
                starT = ti;
                continue;
            }
            if (it.kind == PatItem::Set && it.empty) {
                ++pi;
                continue;
            }
            if (ti < t.size()) {
                bool ok = false;
                switch (it.kind) {
                case PatItem::One: ok = true; break;
                case PatItem::Digit: ok = t[ti] >= '0' && t[ti] <= '9'; break;
                case PatItem::Lit: ok = Fold(t[ti]) == Fold(it.ch); break;
                case PatItem::Set: ok = SetHas(it, t[ti]) != it.negate; break;
                case PatItem::Any: break;
                }
                if (ok) {
                    ++pi;
                    ++ti;
                    continue;
                }
            }
        } else if (ti == t.size()) {
            return true;
        }
        if (starP == SIZE_MAX || starT >= t.size())
            return false;
        pi = starP + 1;
        ti = ++starT;
    }
}

void JetLikeFunc(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    const unsigned char* p = sqlite3_value_text(argv[0]);
    const unsigned char* t = sqlite3_value_text(argv[1]);
    if (!p || !t) {
        sqlite3_result_null(ctx);
        return;
    }
    std::string_view ps(reinterpret_cast<const char*>(p), sqlite3_value_bytes(argv[0]));
    std::string_view ts(reinterpret_cast<const char*>(t), sqlite3_value_bytes(argv[1]));
    sqlite3_result_int(ctx, JetLikeMatch(ps, ts) ? 1 : 0);
}

} // namespace

const std::vector<std::string>* TableColumns(std::string_view table)
{
    if (EqualNoCase(table, kTablePbook))
        return &kPbookCols;
    if (EqualNoCase(table, kTableSms))
        return &kSmsCols;
    if (EqualNoCase(table, kTableVcall))
        return &kVcallCols;
    return nullptr;
}

std::string QuoteIdent(std::string_view name)
{
    std::string out = "\"";
    for (char c : name) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

std::string JetEscapeSearchText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '[' || c == ']' || c == '*' || c == '?' || c == '#' || c == '!') {
            out += '[';
            out += c;
            out += ']';
        } else {
            out += c;
        }
    }
    return out;
}

bool JetPatternValid(std::string_view pattern)
{
    std::vector<PatItem> items;
    return ParsePattern(pattern, items);
}

bool JetLikeMatch(std::string_view pattern, std::string_view text)
{
    std::vector<PatItem> items;
    return ParsePattern(pattern, items) && MatchItems(items, text);
}

bool JetLikeToSqlLike(std::string_view pattern, std::string& out)
{
    out.clear();
    size_t i = 0;
    auto literal = [&out](std::string_view ch) {
        if (ch == "%" || ch == "_" || ch == "\\")
            out += '\\';
        out += ch;
    };
    while (i < pattern.size()) {
        char c = pattern[i];
        if (c == '*') {
            out += '%';
            ++i;
        } else if (c == '?') {
            out += '_';
            ++i;
        } else if (c == '#') {
            return false;
        } else if (c == '[') {
            size_t close = pattern.find(']', i + 1);
            if (close == std::string_view::npos)
                return false;
            std::string_view body = pattern.substr(i + 1, close - i - 1);
            i = close + 1;
            if (body.empty())
                continue;
            size_t k = 0;
            NextChar(body, k);
            if (k != body.size())
                return false; // a set of several characters or a range
            literal(body);
        } else {
            size_t start = i;
            NextChar(pattern, i);
            literal(pattern.substr(start, i - start));
        }
    }
    return true;
}

std::string LikeSql(const std::string& quotedColumn, std::string_view jetPattern,
                    std::vector<DbValue>& params, std::string& error)
{
    if (!JetPatternValid(jetPattern)) {
        error = "Invalid pattern string.";
        return "0";
    }
    std::string like;
    if (JetLikeToSqlLike(jetPattern, like)) {
        params.emplace_back(like);
        return quotedColumn + " LIKE ? ESCAPE '\\'";
    }
    params.emplace_back(std::string(jetPattern));
    return "jet_like(?, " + quotedColumn + ")";
}

bool RegisterJetFunctions(sqlite3* db)
{
    return sqlite3_create_function(db, "jet_like", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                   JetLikeFunc, nullptr, nullptr) == SQLITE_OK;
}

// ---------------------------------------------------------------------------
// Statement parser

namespace {

struct Token {
    enum Kind { End, Ident, Number, String, Op } kind = End;
    std::string text;  // identifier, operator or the string's value
    bool bracketed = false;
};

class JetParser {
public:
    JetParser(std::string_view src) : m_src(src) { Advance(); }

    bool Failed() const { return !m_error.empty(); }
    const std::string& Error() const { return m_error; }

    bool ParseQuery(CDaoQuery& q)
    {
        if (m_tok.kind == Token::Ident && m_tok.bracketed) {
            if (!SetTable(m_tok.text))
                return false;
            q.table = m_table;
            Advance();
            return ExpectEnd();
        }
        if (!Keyword("select") || !Expect("*") || !Keyword("from"))
            return false;
        if (m_tok.kind != Token::Ident || !SetTable(m_tok.text))
            return Fail("Syntax error in FROM clause.");
        q.table = m_table;
        Advance();
        if (IsKeyword("where")) {
            Advance();
            if (!ParseExpr(q.where, q.params))
                return false;
        }
        if (IsKeyword("order")) {
            Advance();
            if (!Keyword("by"))
                return false;
            while (true) {
                std::string col;
                if (!ParseColumn(col))
                    return false;
                q.orderBy += col;
                if (IsKeyword("asc") || IsKeyword("desc")) {
                    q.orderBy += IsKeyword("asc") ? " ASC" : " DESC";
                    Advance();
                }
                if (m_tok.kind == Token::Op && m_tok.text == ",") {
                    q.orderBy += ", ";
                    Advance();
                    continue;
                }
                break;
            }
        }
        return ExpectEnd();
    }

    bool ParseFilter(std::string_view table, CDaoFilter& f)
    {
        if (!SetTable(table))
            return false;
        return ParseExpr(f.where, f.params) && ExpectEnd();
    }

private:
    bool Fail(const std::string& msg)
    {
        if (m_error.empty())
            m_error = msg;
        return false;
    }

    void Advance()
    {
        m_tok = Token{};
        while (m_pos < m_src.size() && std::isspace(static_cast<unsigned char>(m_src[m_pos])))
            ++m_pos;
        if (m_pos >= m_src.size())
            return;
        char c = m_src[m_pos];
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            size_t s = m_pos;
            while (m_pos < m_src.size() && (std::isalnum(static_cast<unsigned char>(m_src[m_pos])) || m_src[m_pos] == '_'))
                ++m_pos;
            m_tok = {Token::Ident, std::string(m_src.substr(s, m_pos - s))};
        } else if (c == '[') {
            size_t close = m_src.find(']', m_pos + 1);
            if (close == std::string_view::npos) {
                Fail("Syntax error: unclosed bracket.");
                m_pos = m_src.size();
                return;
            }
            m_tok = {Token::Ident, std::string(m_src.substr(m_pos + 1, close - m_pos - 1)), true};
            m_pos = close + 1;
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            size_t s = m_pos;
            while (m_pos < m_src.size() && (std::isdigit(static_cast<unsigned char>(m_src[m_pos])) || m_src[m_pos] == '.'))
                ++m_pos;
            m_tok = {Token::Number, std::string(m_src.substr(s, m_pos - s))};
        } else if (c == '\'' || c == '"') {
            std::string val;
            size_t i = m_pos + 1;
            bool closed = false;
            while (i < m_src.size()) {
                if (m_src[i] == c) {
                    if (i + 1 < m_src.size() && m_src[i + 1] == c) {
                        val += c;
                        i += 2;
                        continue;
                    }
                    closed = true;
                    ++i;
                    break;
                }
                val += m_src[i++];
            }
            if (!closed) {
                Fail("Syntax error in string in query expression.");
                m_pos = m_src.size();
                return;
            }
            m_pos = i;
            m_tok = {Token::String, val};
        } else {
            static const char* two[] = {"<>", "<=", ">="};
            for (const char* t : two) {
                if (m_src.substr(m_pos, 2) == t) {
                    m_tok = {Token::Op, t};
                    m_pos += 2;
                    return;
                }
            }
            m_tok = {Token::Op, std::string(1, c)};
            ++m_pos;
        }
    }

    bool IsKeyword(const char* kw) const { return m_tok.kind == Token::Ident && !m_tok.bracketed && EqualNoCase(m_tok.text, kw); }
    bool Keyword(const char* kw)
    {
        if (!IsKeyword(kw))
            return Fail(std::string("Syntax error: expected ") + kw + ".");
        Advance();
        return true;
    }
    bool Expect(const char* op)
    {
        if (m_tok.kind != Token::Op || m_tok.text != op)
            return Fail(std::string("Syntax error: expected ") + op + ".");
        Advance();
        return true;
    }
    bool ExpectEnd()
    {
        if (Failed())
            return false;
        if (m_tok.kind != Token::End)
            return Fail("Syntax error: unexpected text after the statement.");
        return true;
    }
    bool SetTable(std::string_view name)
    {
        m_cols = TableColumns(name);
        if (!m_cols)
            return Fail("The table '" + std::string(name) + "' does not exist.");
        m_table = *m_cols == kPbookCols ? kTablePbook : *m_cols == kSmsCols ? kTableSms : kTableVcall;
        return true;
    }

    // column | table.column | [column]
    bool ParseColumn(std::string& out)
    {
        if (m_tok.kind != Token::Ident)
            return Fail("Syntax error: expected a column name.");
        std::string name = m_tok.text;
        Advance();
        if (m_tok.kind == Token::Op && m_tok.text == ".") {
            if (!EqualNoCase(name, m_table))
                return Fail("Unknown table '" + name + "'.");
            Advance();
            if (m_tok.kind != Token::Ident)
                return Fail("Syntax error: expected a column name.");
            name = m_tok.text;
            Advance();
        }
        for (const std::string& c : *m_cols) {
            if (EqualNoCase(c, name)) {
                out = QuoteIdent(c);
                return true;
            }
        }
        return Fail("Unknown column '" + name + "'.");
    }

    bool ParseExpr(std::string& out, std::vector<DbValue>& params)
    {
        if (!ParseAnd(out, params))
            return false;
        while (IsKeyword("or")) {
            Advance();
            std::string rhs;
            if (!ParseAnd(rhs, params))
                return false;
            out = out + " OR " + rhs;
        }
        return true;
    }
    bool ParseAnd(std::string& out, std::vector<DbValue>& params)
    {
        if (!ParseNot(out, params))
            return false;
        while (IsKeyword("and")) {
            Advance();
            std::string rhs;
            if (!ParseNot(rhs, params))
                return false;
            out = out + " AND " + rhs;
        }
        return true;
    }
    bool ParseNot(std::string& out, std::vector<DbValue>& params)
    {
        if (++m_depth > 64)
            return Fail("Query is too complex.");
        bool ok;
        if (IsKeyword("not")) {
            Advance();
            std::string inner;
            ok = ParseNot(inner, params);
            out = "NOT " + inner;
        } else if (m_tok.kind == Token::Op && m_tok.text == "(") {
            Advance();
            std::string inner;
            ok = ParseExpr(inner, params) && Expect(")");
            out = "(" + inner + ")";
        } else {
            ok = ParseComparison(out, params);
        }
        --m_depth;
        return ok;
    }

    bool ParseLiteral(std::vector<DbValue>& params, bool& isText)
    {
        bool neg = false;
        if (m_tok.kind == Token::Op && m_tok.text == "-") {
            neg = true;
            Advance();
        }
        isText = false;
        if (m_tok.kind == Token::Number) {
            const std::string& t = m_tok.text;
            if (t.find('.') != std::string::npos) {
                double d = 0;
                if (!ParseDecimalDouble(t, d))
                    return Fail("Syntax error in number.");
                params.emplace_back(neg ? -d : d);
            } else {
                int64_t v = 0;
                if (!ParseDecimal(t, v))
                    return Fail("Number out of range.");
                params.emplace_back(neg ? -v : v);
            }
            Advance();
            return true;
        }
        if (m_tok.kind == Token::String && !neg) {
            params.emplace_back(m_tok.text);
            isText = true;
            Advance();
            return true;
        }
        return Fail("Syntax error: expected a value.");
    }

    bool ParseComparison(std::string& out, std::vector<DbValue>& params)
    {
        std::string col;
        if (!ParseColumn(col))
            return false;
        if (IsKeyword("is")) {
            Advance();
            bool negate = false;
            if (IsKeyword("not")) {
                negate = true;
                Advance();
            }
            if (!Keyword("null"))
                return false;
            out = col + (negate ? " IS NOT NULL" : " IS NULL");
            return true;
        }
        bool negate = false;
        if (IsKeyword("not")) {
            negate = true;
            Advance();
        }
        if (IsKeyword("like")) {
            Advance();
            if (m_tok.kind != Token::String)
                return Fail("Syntax error: like needs a text pattern.");
            std::string err;
            out = LikeSql(col, m_tok.text, params, err);
            if (!err.empty())
                return Fail(err);
            if (negate)
                out = "NOT (" + out + ")";
            Advance();
            return true;
        }
        if (negate)
            return Fail("Syntax error: expected like.");
        if (m_tok.kind != Token::Op)
            return Fail("Syntax error: expected a comparison.");
        std::string op = m_tok.text;
        if (op != "=" && op != "<>" && op != "<" && op != ">" && op != "<=" && op != ">=")
            return Fail("Syntax error: unknown operator '" + op + "'.");
        Advance();
        bool isText = false;
        if (!ParseLiteral(params, isText))
            return false;
        out = col + " " + op + " ?" + (isText ? " COLLATE NOCASE" : "");
        return true;
    }

    std::string_view m_src;
    size_t m_pos = 0;
    Token m_tok;
    std::string m_error;
    const std::vector<std::string>* m_cols = nullptr;
    std::string m_table;
    int m_depth = 0;
};

} // namespace

CDaoQuery TranslateJetQuery(std::string_view jet)
{
    CDaoQuery q;
    q.jetText = std::string(jet);
    JetParser p(jet);
    if (!p.ParseQuery(q) || p.Failed()) {
        q.errorCode = kDaoErrSyntax;
        q.error = p.Error().empty() ? "Syntax error in query." : p.Error();
        q.where.clear();
        q.params.clear();
    }
    return q;
}

CDaoFilter TranslateJetFilter(std::string_view table, std::string_view jet)
{
    CDaoFilter f;
    f.jetText = std::string(jet);
    JetParser p(jet);
    if (!p.ParseFilter(table, f) || p.Failed()) {
        f.errorCode = kDaoErrSyntax;
        f.error = p.Error().empty() ? "Syntax error in filter." : p.Error();
        f.where.clear();
        f.params.clear();
    }
    return f;
}

} // namespace kv
