#include "engine/text/references.h"

#include "engine/text/line_ends.h"
#include "engine/text/reference_candidates.h"

#include <algorithm>
#include <array>

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
// "C:\\Scripts\\x.py", "/Volumes/HD/x.py", "Macintosh HD:Python:x.py", or one that begins at a
// Runtime folder without a separator before it ("Runtime\\Python\\x.py"), as content names a script
// below the roots. Only a path that is none of these names a file beside its document.
bool is_rooted(std::string_view path)
{
    std::size_t first = 0;
    while (first < path.size() && !is_separator(path[first], PathStyle::poser)) {
        ++first;
    }
    return !path.empty() && (first == 0 || path.find(':') != std::string_view::npos ||
                             (first < path.size() && equals_ignoring_case(path.substr(0, first), "Runtime")));
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

const FileFilter& files_of_kind(RefKind kind)
{
    switch (kind) {
    case RefKind::image: return filterImages;
    case RefKind::morph: return filterPMD;
    case RefKind::script: return filterScripts;
    case RefKind::geometry: break;
    }
    return filterOBJZ;
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
    return ends_in_geometry_name(std::string_view(begin, static_cast<std::size_t>(end - begin)));
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

// Where the line holding `at` begins: after the line end before it, not before `floor`.
const char* line_begin(const char* floor, const char* at)
{
    while (at > floor && at[-1] != '\n' && at[-1] != '\r') {
        --at;
    }
    return at;
}

// Where the line holding `at` ends: at its line feed or carriage return, or at the end of the run.
const char* line_stop(const char* at, const char* end)
{
    while (at < end && *at != '\n' && *at != '\r') {
        ++at;
    }
    return at;
}

}  // namespace

long long scan_references(std::string_view lines, long long first_line, std::vector<FoundReference>& found)
{
    const char* const run = lines.data();
    const char* const end = run + lines.size();
    // Lines are numbered only where a candidate stands: the line ends before `counted` are in `number`.
    const char* counted = run;
    long long number = first_line;
    for (const char* at = next_reference_candidate(run, end); at < end; at = next_reference_candidate(at, end)) {
        const char* begin = line_begin(counted, at);
        const char* stop = line_stop(at, end);
        number += static_cast<long long>(count_line_ends(counted, begin, end));
        counted = begin;
        scan_line(run, begin, stop, number, found);
        // A line holds one reference at most: the next candidate is looked for after it.
        at = stop;
    }
    number += static_cast<long long>(count_line_ends(counted, end, end));
    // A last line without a line end is a line too.
    const bool open_last_line = end > run && end[-1] != '\n' && end[-1] != '\r';
    return number - first_line + (open_last_line ? 1 : 0);
}
