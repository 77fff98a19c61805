#include "log/LineWrap.h"

#include <vector>

namespace kv {

namespace {

// One character: where it starts, how many bytes, how many columns.
struct Unit {
    size_t pos;
    size_t len;
    size_t cols;
};

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Characters of a UTF-8 text. A byte that does not start a valid sequence
// stands alone; a sequence takes at most four bytes.
std::vector<Unit> Units(std::string_view text)
{
    std::vector<Unit> out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t len = 1;
        if (c >= 0xC0) {
            while (len < 4 && i + len < text.size()
                   && IsContinuation(static_cast<unsigned char>(text[i + len])))
                ++len;
        }
        out.push_back({i, len, c < 0x80 ? 1u : 2u});
        i += len;
    }
    return out;
}

bool IsBreak(std::string_view text, const Unit& u)
{
    return u.len == 1 && (text[u.pos] == '\n' || text[u.pos] == '\r');
}

bool IsSpace(std::string_view text, const Unit& u) { return u.len == 1 && text[u.pos] == ' '; }

// Wraps the units [first, last) of one paragraph (no breaks in it) into out.
void WrapParagraph(std::string_view text, const std::vector<Unit>& u, size_t first, size_t last,
                   size_t width, std::string& out)
{
    auto emit = [&](size_t from, size_t to) {
        if (from < to)
            out.append(text.substr(u[from].pos, u[to - 1].pos + u[to - 1].len - u[from].pos));
    };
    size_t i = first;
    while (i < last) {
        size_t j = i;
        size_t used = 0;
        while (j < last && used + u[j].cols <= width)
            used += u[j++].cols;
        if (j == i)
            j = i + 1; // a character wider than the line stands alone
        if (j == last) {
            emit(i, j);
            return;
        }
        size_t end = j;  // the line is [i, end)
        size_t next = j; // the next line starts here
        if (!IsSpace(text, u[j])) {
            // Back to the start of the word that does not fit.
            size_t k = j;
            while (k > i && !IsSpace(text, u[k - 1]))
                --k;
            size_t e = k;
            while (e > i && IsSpace(text, u[e - 1]))
                --e;
            if (e > i) { // a word ends before the space: break there
                end = e;
                next = k;
            }
        } else {
            while (end > i && IsSpace(text, u[end - 1]))
                --end;
            if (end == i)
                end = j; // nothing but spaces: keep them
        }
        while (next < last && IsSpace(text, u[next]))
            ++next;
        emit(i, end);
        if (next < last)
            out += '\n';
        i = next;
    }
}

} // namespace

std::string WrapAtWords(std::string_view text, size_t width)
{
    if (width == 0)
        return std::string(text);
    const std::vector<Unit> u = Units(text);
    std::string out;
    out.reserve(text.size() + text.size() / 8 + 1);
    size_t start = 0;
    for (size_t i = 0; i <= u.size(); ++i) {
        if (i < u.size() && !IsBreak(text, u[i]))
            continue;
        WrapParagraph(text, u, start, i, width, out);
        if (i < u.size())
            out += text[u[i].pos];
        start = i + 1;
    }
    return out;
}

size_t LineColumns(std::string_view text)
{
    size_t cols = 0;
    for (const Unit& u : Units(text))
        if (!IsBreak(text, u))
            cols += u.cols;
    return cols;
}

} // namespace kv
