// Fuzz target: reading a file line by line, plain and gzip-compressed, trimming, recognising reference lines and their
// markers, and turning Poser paths into disk paths and back in both path styles. Every result is held against the plain
// model of the rules; the fast scans of runs of lines must find exactly what the rules find line by line.
#include "engine/fsys/textio.h"
#include "engine/text/line_scan.h"
#include "engine/text/references.h"
#include "engine/text/refline.h"
#include "fuzz/line_model.h"
#include "tests/files.h"

#include <cstdint>
#include <memory>

static void check_paths(const std::string& trimmed, std::string_view input)
{
    model::Found expected = model::marker_of(trimmed);
    Marker m = find_marker(trimmed);
    MODEL_CHECK(static_cast<int>(m.kind) == static_cast<int>(expected.kind), "marker kind", input);
    MODEL_CHECK(m.path_start == expected.path_start, "path start", input);
    const std::string_view poser_path = std::string_view(trimmed).substr(m.path_start);
    const std::pair<std::string, PathStyle> roots[] = {{"D:\\Poser", PathStyle::windows}, {"/srv/poser", PathStyle::posix}};
    for (const auto& [root, style] : roots) {
        std::string disk;
        build_disk_path(root, poser_path, style, disk);
        MODEL_CHECK(disk.size() == root.size() + 1 + poser_path.size(), "disk path length", input);
        MODEL_CHECK(is_inside_root(disk, root, style), "disk path below the root", input);
        const std::string written = written_poser_path(disk, root.size(), style);
        MODEL_CHECK(written == model::written_path(poser_path, style == PathStyle::windows), "written Poser path", input);
        std::string cut = disk;
        int at = dellocalname(cut, style);
        MODEL_CHECK(at >= static_cast<int>(root.size()), "cut inside the root", input);
        MODEL_CHECK(disk[static_cast<std::size_t>(at)] == separator(style), "cut at a separator", input);
        MODEL_CHECK(disk.find(separator(style), static_cast<std::size_t>(at) + 1) == std::string::npos,
                    "cut at the last separator", input);
    }
}

// The lines of `input` as stored: each ends at a line feed, a carriage return and line feed, or a carriage return alone.
// Each comes with the offset where it begins.
static std::vector<std::pair<std::size_t, std::string_view>> stored_lines(std::string_view input)
{
    std::vector<std::pair<std::size_t, std::string_view>> lines;
    std::size_t begin = 0;
    for (std::size_t k = 0; k < input.size(); ++k) {
        if (input[k] != '\n' && input[k] != '\r') {
            continue;
        }
        lines.emplace_back(begin, input.substr(begin, k - begin));
        if (input[k] == '\r' && k + 1 < input.size() && input[k + 1] == '\n') {
            ++k;
        }
        begin = k + 1;
    }
    if (begin < input.size()) {
        lines.emplace_back(begin, input.substr(begin));
    }
    return lines;
}

// Every field of a found reference, with `line` its number and `offset` where its line starts: the found ones point
// into buffers reused later, and the scan must agree with the rules on each.
static std::string shown(const FileReference& r, long long line, std::size_t offset)
{
    return std::to_string(line) + " @" + std::to_string(offset) + " " + std::string(kind_name(r.kind)) + (r.builtin ? " builtin" : "") +
           (r.beside_document ? " beside" : "") + " [" + std::to_string(r.path_begin) + "," + std::to_string(r.path_end) + ") " +
           std::string(r.target);
}

// The references the rules find reading `text` line by line, its first line numbered 1, shown as found behind `lines`
// more lines of `bytes` more bytes.
static std::vector<std::string> references_line_by_line(std::string_view text, long long lines, std::size_t bytes)
{
    std::vector<std::string> wanted;
    const auto stored = stored_lines(text);
    for (std::size_t k = 0; k < stored.size(); ++k) {
        FileReference ref;
        if (find_file_reference(stored[k].second, ref)) {
            wanted.push_back(shown(ref, static_cast<long long>(k) + 1 + lines, stored[k].first + bytes));
        }
    }
    return wanted;
}

// Scans `text` as one run, held in a buffer of exactly its size so that a sanitizer sees any read past its end.
static long long scan_exactly(std::string_view text, long long first_line, std::size_t offset, std::vector<std::string>& seen)
{
    const std::unique_ptr<char[]> copy(new char[text.size() + 1]);
    std::copy(text.begin(), text.end(), copy.get());
    std::vector<FoundReference> found;
    const long long lines = scan_references(std::string_view(copy.get(), text.size()), first_line, found);
    for (const FoundReference& f : found) {
        seen.push_back(shown(f.ref, f.line, offset + f.line_offset));
    }
    return lines;
}

// The scan of runs of lines, directly: the text behind 0 to 63 blank lines, so that every byte of it falls on every place
// of a 16-, 32- or 64-byte block once; and the text cut into runs of one line each, numbered on from run to run.
static void check_direct_scans(std::string_view input)
{
    const auto lines = stored_lines(input);
    const std::string padded = std::string(63, '\n') + std::string(input);
    for (std::size_t pad = 0; pad < 64; ++pad) {
        std::vector<std::string> seen;
        const long long count = scan_exactly(std::string_view(padded).substr(63 - pad), 1, 0, seen);
        const long long behind = static_cast<long long>(pad);
        MODEL_CHECK(count == behind + static_cast<long long>(lines.size()), "lines of a run behind " + std::to_string(pad), input);
        MODEL_CHECK(seen == references_line_by_line(input, behind, pad), "references of a run behind " + std::to_string(pad), input);
    }
    std::vector<std::string> seen;
    long long number = 7;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const std::size_t begin = lines[k].first;
        const std::size_t end = k + 1 < lines.size() ? lines[k + 1].first : input.size();
        number += scan_exactly(input.substr(begin, end - begin), number, begin, seen);
    }
    MODEL_CHECK(number == 7 + static_cast<long long>(lines.size()), "lines of runs of one line", input);
    MODEL_CHECK(seen == references_line_by_line(input, 6, 0), "references of runs of one line", input);
}

// The references and pointer lines the scans of runs of lines find, against those the rules find line by line.
static void check_scans(const std::string& path, const std::vector<std::string>& expected, std::string_view input)
{
    const auto pointers = static_cast<std::size_t>(
        std::count_if(expected.begin(), expected.end(), [](const std::string& line) { return is_reference_line(model::trimmed(line)); }));
    std::vector<std::string> found_here;
    TextReader runs;
    runs.open(fsys::disk(), path, Gzip::never, fsys::Listed::unknown, ReadMode::as_stored);
    long long number = 1;
    std::string_view lines;
    std::string copy;
    while (runs.next_lines(lines)) {
        number += scan_exactly(lines, number, copy.size(), found_here);
        copy += lines;
    }
    MODEL_CHECK(copy == input, "runs of lines as stored", input);
    MODEL_CHECK(number == 1 + static_cast<long long>(stored_lines(input).size()), "lines in runs of lines", input);
    MODEL_CHECK(found_here == references_line_by_line(input, 0, 0), "references in runs of lines", input);
    check_direct_scans(input);
    std::size_t candidates = 0;
    runs.open(fsys::disk(), path);
    while (runs.next_lines(lines)) {
        line_scan::for_each_candidate(lines, [&](std::string_view line) {
            if (!line.empty() && line.back() == '\r') {
                line.remove_suffix(1);  // the one left before the line feed
            }
            candidates += is_reference_line(model::trimmed(line));
        });
    }
    MODEL_CHECK(candidates == pointers, "pointer lines of the check", input);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    static const TempDir folder;  // removed at the end of the run
    const std::string path = folder.at("lines.cr2");
    write_bytes(path, std::string(input));

    const std::vector<std::string> expected = poser_lines(input);
    check_scans(path, expected, input);
    // The bytes as they are, then the same bytes compressed and padded with zero bytes: the same lines.
    for (const bool packed : {false, true}) {
        if (packed) {
            write_gzip(path, std::string(input), false, 1 + input.size() % 1000);
        }
        const std::string form = packed ? "compressed " : "";
        TextReader reader;
        MODEL_CHECK(reader.open(fsys::disk(), path, packed ? Gzip::if_magic : Gzip::never) && (!packed || reader.compressed()),
                    "open " + form, input);
        std::size_t count = 0;
        for (std::string_view line; reader.next_line(line); ++count) {
            MODEL_CHECK(count < expected.size() && line == expected[count], form + "line " + std::to_string(count), input);
            const std::string_view t = trim_line(line);
            MODEL_CHECK(t == model::trimmed(line), "trimmed line", input);
            MODEL_CHECK(trim_line(std::string(line) + '\n') == t, "trimming drops one line feed", input);
            MODEL_CHECK(is_reference_line(t) == model::is_reference(t), "reference test", input);
            if (is_reference_line(t)) {
                check_paths(std::string(t), input);
            }
        }
        MODEL_CHECK(!reader.failed() && count == expected.size(), form + "lines", input);
    }
    return 0;
}
