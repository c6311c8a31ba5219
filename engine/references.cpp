#include "engine/references.h"

#include <array>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define TARNWICK_HAS_SSE2 1
#endif

namespace {

struct Keyword {
    std::string_view word;
    RefKind kind;
};

// "geomResource" names a geometry built into Poser, never a file.
constexpr std::string_view k_builtin_keyword = "geomResource";

constexpr std::array<Keyword, 12> k_keywords = {{
    {"figureResFile", RefKind::geometry},
    {"objFileGeom", RefKind::geometry},
    {"objFile", RefKind::geometry},
    {k_builtin_keyword, RefKind::geometry},
    {"textureMap", RefKind::image},
    {"bumpMap", RefKind::image},
    {"reflectionMap", RefKind::image},
    {"transparencyMap", RefKind::image},
    {"file", RefKind::image},
    {"morphBinaryFile", RefKind::morph},
    {"injectPMDFileMorphs", RefKind::morph},
    {"readScript", RefKind::script},
}};

bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view skip_blanks(std::string_view s)
{
    std::size_t k = 0;
    while (k < s.size() && is_blank(s[k])) {
        ++k;
    }
    return s.substr(k);
}

// The first word of `s` and what follows it.
std::string_view first_word(std::string_view s)
{
    std::size_t k = 0;
    while (k < s.size() && !is_blank(s[k])) {
        ++k;
    }
    return s.substr(0, k);
}

bool is_number(std::string_view word)
{
    if (!word.empty() && (word[0] == '-' || word[0] == '+')) {
        word.remove_prefix(1);
    }
    bool digit = false;
    for (char c : word) {
        if (c >= '0' && c <= '9') {
            digit = true;
        } else if (c != '.') {
            return false;
        }
    }
    return digit;
}

std::string_view without_quotes(std::string_view s)
{
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') {
        return s.substr(1, s.size() - 2);
    }
    return s;
}

bool is_builtin_value(std::string_view path)
{
    return path.empty() || path == "NO_MAP" || path.rfind("GetStringRes(", 0) == 0;
}

const Keyword* keyword_of(std::string_view word)
{
    // Most lines start with a word no keyword starts with: one compare settles them.
    if (word.size() < 4) {
        return nullptr;
    }
    for (const Keyword& k : k_keywords) {
        if (k.word == word) {
            return &k;
        }
    }
    return nullptr;
}

bool keyword_reference(std::string_view trimmed, FileReference& ref)
{
    std::string_view rest = skip_blanks(trimmed);
    std::string_view word = first_word(rest);
    const Keyword* keyword = keyword_of(word);
    if (keyword == nullptr) {
        return false;
    }
    rest = skip_blanks(rest.substr(word.size()));
    if (keyword->word == "objFileGeom") {
        for (int k = 0; k < 2 && is_number(first_word(rest)); ++k) {
            rest = skip_blanks(rest.substr(first_word(rest).size()));
        }
    }
    ref.kind = keyword->kind;
    ref.target = without_quotes(rest);
    ref.builtin = keyword->word == k_builtin_keyword || is_builtin_value(ref.target);
    return true;
}

}  // namespace

std::string_view kind_name(RefKind kind)
{
    switch (kind) {
    case RefKind::geometry: return "geometry";
    case RefKind::image: return "image";
    case RefKind::morph: return "morph";
    case RefKind::script: return "script";
    }
    return "geometry";
}

bool ends_in_geometry_name(std::string_view text)
{
    const std::size_t n = text.size();
    if (n < 4 || text[n - 4] != '.' || (text[n - 3] | 0x20) != 'o' || (text[n - 2] | 0x20) != 'b') {
        return false;
    }
    // Or-ing 0x20 turns 'J' and 'Z' into 'j' and 'z' and maps no other byte onto either.
    const char last = static_cast<char>(text[n - 1] | 0x20);
    return last == 'j' || last == 'z';
}

bool find_geometry_pointer(std::string_view trimmed, GeometryPointer& p)
{
    p = GeometryPointer{};
    const std::size_t n = trimmed.size();
    if (n >= 2 && trimmed[n - 1] == '"') {
        std::size_t open = trimmed.rfind('"', n - 2);
        if (open == std::string_view::npos || !ends_in_geometry_name(trimmed.substr(open + 1, n - 2 - open))) {
            return false;
        }
        const bool colon = trimmed[open + 1] == ':';
        p.marker = Marker{colon ? MarkerKind::colon : MarkerKind::prefix, open + 1 + (colon ? 1 : 0)};
        p.path_end = n - 1;
        p.quoted = true;
        return true;
    }
    if (!ends_in_geometry_name(trimmed)) {
        return false;
    }
    p.marker = find_marker(trimmed);
    p.path_end = n;
    return true;
}

bool find_file_reference(std::string_view trimmed, FileReference& ref)
{
    if (keyword_reference(trimmed, ref)) {
        return true;
    }
    GeometryPointer p;
    if (!find_geometry_pointer(trimmed, p)) {
        return false;
    }
    ref.kind = RefKind::geometry;
    ref.target = trimmed.substr(p.marker.path_start, p.path_end - p.marker.path_start);
    if (p.quoted && p.marker.kind == MarkerKind::colon) {
        ref.target = trimmed.substr(p.marker.path_start - 1, p.path_end - p.marker.path_start + 1);
    }
    ref.builtin = is_builtin_value(ref.target);
    return true;
}

namespace {

// Whether a line whose first word starts with `a` and `b` may start with a keyword.
bool may_start_keyword(char a, char b)
{
    switch (a) {
    case 'f': return b == 'i';
    case 'o': return b == 'b';
    case 't': return b == 'e' || b == 'r';
    case 'b': return b == 'u';
    case 'r': return b == 'e';
    case 'm': return b == 'o';
    case 'i': return b == 'n';
    case 'g': return b == 'e';
    default: return false;
    }
}

// Whether the line [begin, end) may end in a geometry file name, quoted or not.
bool may_end_in_geometry(const char* begin, const char* end)
{
    while (end > begin && (end[-1] == ' ' || end[-1] == '\t')) {
        --end;
    }
    if (end > begin && end[-1] == '"') {
        --end;
    }
    if (end - begin < 4) {
        return false;
    }
    const char last = static_cast<char>(end[-1] | 0x20);
    return (last == 'j' || last == 'z') && end[-4] == '.';
}

}  // namespace

namespace {

// Finds the references of one line [begin, end), its line feed not included.
void scan_line(const char* begin, const char* end, long long number, std::vector<FoundReference>& found)
{
    if (end > begin && end[-1] == '\r') {
        --end;
    }
    const char* word = begin;
    while (word < end && (*word == ' ' || *word == '\t')) {
        ++word;
    }
    if (end - word >= 4 && (may_start_keyword(word[0], word[1]) || may_end_in_geometry(word, end))) {
        FileReference ref;
        if (find_file_reference(trim_line(std::string_view(begin, static_cast<std::size_t>(end - begin))), ref)) {
            found.push_back(FoundReference{ref, number});
        }
    }
}

}  // namespace

long long scan_references(std::string_view lines, long long first_line, std::vector<FoundReference>& found)
{
    const char* p = lines.data();
    const char* const end = p + lines.size();
    const char* line = p;
    long long number = first_line;
#ifdef TARNWICK_HAS_SSE2
    // Sixteen bytes at a time: lines are short, and one compare finds every line feed in them.
    const __m128i lf = _mm_set1_epi8('\n');
    for (; p + 16 <= end; p += 16) {
        unsigned mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), lf)));
        while (mask != 0) {
            const char* at = p + __builtin_ctz(mask);
            scan_line(line, at, number++, found);
            line = at + 1;
            mask &= mask - 1;
        }
    }
#endif
    for (; p < end; ++p) {
        if (*p == '\n') {
            scan_line(line, p, number++, found);
            line = p + 1;
        }
    }
    if (line < end) {
        scan_line(line, end, number++, found);
    }
    return number - first_line;
}
