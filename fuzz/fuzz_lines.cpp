// Fuzz target: reading a file line by line, plain and gzip-compressed, trimming, recognising reference lines and their
// markers, and turning Poser paths into disk paths and back in both path styles. Every result is held against the plain
// model of the rules; the fast scans of runs of lines must find exactly what the rules find line by line.
#include "engine/line_scan.h"
#include "engine/references.h"
#include "engine/refline.h"
#include "engine/textio.h"
#include "fuzz/line_model.h"
#include "tests/files.h"

#include <cstdint>

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
static std::vector<std::string> stored_lines(std::string_view input)
{
    std::vector<std::string> lines(1);
    for (std::size_t k = 0; k < input.size(); ++k) {
        if (input[k] != '\n' && input[k] != '\r') {
            lines.back() += input[k];
            continue;
        }
        if (input[k] == '\r' && k + 1 < input.size() && input[k + 1] == '\n') {
            ++k;
        }
        lines.emplace_back();
    }
    if (lines.back().empty()) {
        lines.pop_back();
    }
    return lines;
}

// The references and pointer lines the scans of runs of lines find, against those the rules find line by line.
static void check_scans(const std::string& path, const std::vector<std::string>& expected, std::string_view input)
{
    // Each reference as "line kind builtin target": the found ones point into buffers reused later.
    auto shown = [](const FileReference& r, long long line) {
        return std::to_string(line) + " " + std::string(kind_name(r.kind)) + (r.builtin ? " 1 " : " 0 ") + std::string(r.target);
    };
    std::vector<std::string> wanted, found_here;
    const std::vector<std::string> stored = stored_lines(input);
    for (std::size_t k = 0; k < stored.size(); ++k) {
        FileReference ref;
        if (find_file_reference(stored[k], ref)) {
            wanted.push_back(shown(ref, static_cast<long long>(k) + 1));
        }
    }
    std::size_t pointers = 0;
    for (const std::string& line : expected) {
        pointers += is_reference_line(model::trimmed(line));
    }
    std::vector<FoundReference> found;
    TextReader runs;
    runs.open(fsys::disk(), path, Gzip::never, fsys::Listed::unknown, ReadMode::as_stored);
    long long number = 1;
    std::string_view lines;
    std::string copy;
    while (runs.next_lines(lines)) {
        copy += lines;
        found.clear();
        number += scan_references(lines, number, found);
        for (const FoundReference& f : found) {
            found_here.push_back(shown(f.ref, f.line));
        }
    }
    MODEL_CHECK(copy == input, "runs of lines as stored", input);
    MODEL_CHECK(found_here == wanted, "references in runs of lines", input);
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
    TextReader reader;
    MODEL_CHECK(reader.open(fsys::disk(), path), "open", input);
    std::size_t count = 0;
    std::string_view line;
    for (; reader.next_line(line); ++count) {
        MODEL_CHECK(count < expected.size() && line == expected[count], "line " + std::to_string(count), input);
        const std::string_view t = trim_line(line);
        MODEL_CHECK(t == model::trimmed(line), "trimmed line", input);
        MODEL_CHECK(trim_line(std::string(line) + '\n') == t, "trimming drops one line feed", input);
        MODEL_CHECK(is_reference_line(t) == model::is_reference(t), "reference test", input);
        if (is_reference_line(t)) {
            check_paths(std::string(t), input);
        }
    }
    MODEL_CHECK(!reader.failed() && count == expected.size(), "lines", input);
    check_scans(path, expected, input);

    // The same bytes compressed, and padded with zero bytes, read back the same lines.
    write_gzip(path, std::string(input), false, 1 + input.size() % 1000);
    MODEL_CHECK(reader.open(fsys::disk(), path, Gzip::if_magic) && reader.compressed(), "open compressed", input);
    for (count = 0; reader.next_line(line); ++count) {
        MODEL_CHECK(count < expected.size() && line == expected[count], "compressed line " + std::to_string(count), input);
    }
    MODEL_CHECK(!reader.failed() && count == expected.size(), "compressed lines", input);
    return 0;
}
