#include "engine/references.h"

#include <algorithm>
#include <array>
#include <bit>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define TARNWICK_HAS_SSE2 1
#endif

namespace {

struct Keyword {
    std::string_view word;
    RefKind kind;
    int numbers;  // how many numbers stand between the keyword and the path
};

// "geomResource" names a geometry built into Poser, never a file.
constexpr std::string_view k_builtin_keyword = "geomResource";
// The keyword of a script that Poser runs from the document's own folder when its path is relative.
constexpr std::string_view k_run_script_keyword = "runPythonScript";

constexpr std::array<Keyword, 15> k_keywords = {{
    {"figureResFile", RefKind::geometry, 0},
    {"objFileGeom", RefKind::geometry, 2},
    {"objFile", RefKind::geometry, 1},
    {k_builtin_keyword, RefKind::geometry, 0},
    {"textureMap", RefKind::image, 0},
    {"bumpMap", RefKind::image, 0},
    {"reflectionMap", RefKind::image, 0},
    {"transparencyMap", RefKind::image, 0},
    {"file", RefKind::image, 0},
    {"morphBinaryFile", RefKind::morph, 0},
    {"injectPMDFileMorphs", RefKind::morph, 0},
    {"morphPmdFile", RefKind::morph, 0},
    {"readScript", RefKind::script, 0},
    {k_run_script_keyword, RefKind::script, 0},
    {"name", RefKind::geometry, -1},  // a display name: no file, whatever it ends in
}};

bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

std::size_t skip_blanks(std::string_view s, std::size_t k)
{
    while (k < s.size() && is_blank(s[k])) {
        ++k;
    }
    return k;
}

std::size_t word_end(std::string_view s, std::size_t k)
{
    while (k < s.size() && !is_blank(s[k])) {
        ++k;
    }
    return k;
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

// A path from a root, a drive or another machine's volume: ":Runtime:Python:x.py",
// "C:\\Scripts\\x.py", "/Volumes/HD/x.py", "Macintosh HD:Python:x.py". Only a path that is none of
// these names a file beside its document.
bool is_rooted(std::string_view path)
{
    return !path.empty() && (is_separator(path[0], PathStyle::poser) || path.find(':') != std::string_view::npos);
}

bool is_builtin_value(std::string_view path)
{
    return path.empty() || path == "NO_MAP" || path.rfind("GetStringRes(", 0) == 0 || path.rfind("GetStringRes:", 0) == 0;
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

void set_span(FileReference& ref, std::string_view line, std::size_t begin, std::size_t end)
{
    ref.path_begin = begin;
    ref.path_end = end;
    ref.target = line.substr(begin, end - begin);
    ref.builtin = ref.builtin || is_builtin_value(ref.target);
}

// The value after a keyword: a path in double quotes (what follows the closing quote stays
// on the line, such as a pair of numbers), or the rest of the line.
void read_value(std::string_view line, std::size_t k, std::size_t end, FileReference& ref)
{
    if (k < end && line[k] == '"') {
        const std::size_t close = line.find('"', k + 1);
        set_span(ref, line, k + 1, close == std::string_view::npos || close > end ? end : close);
        return;
    }
    set_span(ref, line, k, end);
}

// A line that names geometry by its ending: the whole text inside closing double quotes, or
// the text after its marker (a colon marker's colon included), or after its leading blanks.
bool geometry_by_ending(std::string_view line, std::size_t end, FileReference& ref)
{
    const std::string_view trimmed = line.substr(0, end);
    if (end >= 2 && trimmed[end - 1] == '"') {
        const std::size_t open = trimmed.rfind('"', end - 2);
        if (open == std::string_view::npos || !ends_in_geometry_name(trimmed.substr(open + 1, end - 2 - open))) {
            return false;
        }
        set_span(ref, line, open + 1, end - 1);
        return true;
    }
    if (!ends_in_geometry_name(trimmed)) {
        return false;
    }
    const Marker m = find_marker(trimmed);
    const std::size_t begin = m.kind == MarkerKind::colon ? m.path_start - 1
                              : m.kind == MarkerKind::prefix ? m.path_start
                                                              : skip_blanks(trimmed, 0);
    set_span(ref, line, begin, end);
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

bool find_file_reference(std::string_view line, FileReference& ref)
{
    ref = FileReference{};
    const std::size_t end = trim_line(line).size();
    const std::size_t first = skip_blanks(line, 0);
    const std::size_t after_word = word_end(line.substr(0, end), first);
    const Keyword* keyword = keyword_of(line.substr(first, after_word - first));
    if (keyword == nullptr) {
        return geometry_by_ending(line, end, ref);
    }
    if (keyword->numbers < 0) {
        return false;
    }
    std::size_t k = skip_blanks(line, after_word);
    for (int n = 0; n < keyword->numbers && is_number(line.substr(k, word_end(line, k) - k)); ++n) {
        k = skip_blanks(line, word_end(line, k));
    }
    ref.kind = keyword->kind;
    ref.builtin = keyword->word == k_builtin_keyword;
    read_value(line, std::min(k, end), end, ref);
    ref.beside_document = keyword->word == k_run_script_keyword && !is_rooted(ref.target);
    return true;
}

bool needs_colon_notation(const FileReference& ref)
{
    return ref.kind == RefKind::geometry && !ref.builtin && ref.target.front() != ':';
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
    case 'r': return b == 'e' || b == 'u';
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

// Finds the reference of one line [begin, end), its line end not included.
void scan_line(const char* run, const char* begin, const char* end, long long number, std::vector<FoundReference>& found)
{
    const char* word = begin;
    while (word < end && (*word == ' ' || *word == '\t')) {
        ++word;
    }
    if (end - word >= 4 && (may_start_keyword(word[0], word[1]) || may_end_in_geometry(word, end))) {
        FileReference ref;
        if (find_file_reference(std::string_view(begin, static_cast<std::size_t>(end - begin)), ref)) {
            found.push_back(FoundReference{ref, number, static_cast<std::size_t>(begin - run)});
        }
    }
}

// Walks the lines of a run, calling `on_line(begin, end)` for each; returns how many.
class LineSplitter {
public:
    LineSplitter(const char* run, long long first_line, std::vector<FoundReference>& found)
        : m_run(run), m_line(run), m_number(first_line), m_found(found)
    {
    }
    // A line end at `at`: the line feed of a carriage return and line feed ends nothing more.
    void end_at(const char* at)
    {
        if (*at == '\n' && at == m_line && at > m_run && at[-1] == '\r') {
            m_line = at + 1;
            return;
        }
        scan_line(m_run, m_line, at, m_number++, m_found);
        m_line = at + 1;
    }
    long long finish(const char* end)
    {
        if (m_line < end) {
            scan_line(m_run, m_line, end, m_number++, m_found);
        }
        return m_number;
    }

private:
    const char* m_run;
    const char* m_line;
    long long m_number;
    std::vector<FoundReference>& m_found;
};

}  // namespace

long long scan_references(std::string_view lines, long long first_line, std::vector<FoundReference>& found)
{
    const char* p = lines.data();
    const char* const end = p + lines.size();
    LineSplitter splitter(p, first_line, found);
#ifdef TARNWICK_HAS_SSE2
    // Sixteen bytes at a time: lines are short, and one compare finds every line end in them.
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    for (; p + 16 <= end; p += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, lf), _mm_cmpeq_epi8(bytes, cr))));
        for (; mask != 0; mask &= mask - 1) {
            splitter.end_at(p + std::countr_zero(mask));
        }
    }
#endif
    for (; p < end; ++p) {
        if (*p == '\n' || *p == '\r') {
            splitter.end_at(p);
        }
    }
    return splitter.finish(end) - first_line;
}
