#include "engine/report/product_report.h"

#include "engine/base/ascii.h"
#include "engine/library/content_paths.h"
#include "engine/text/refline.h"
#include "engine/zip/mounted_fs.h"

#include <algorithm>

namespace {

// The content folder of a product: the zip's top, or the folder named by the check for
// holding Runtime one level down.
std::string content_folder(const std::string& zip, const std::vector<zipfs::PackageProblem>& problems)
{
    for (const zipfs::PackageProblem& p : problems) {
        if (p.kind == zipfs::ProblemKind::runtime_too_deep && p.entry.size() > 1) {
            return child_path_of_slashed(zip, p.entry.substr(0, p.entry.size() - 1));
        }
    }
    return zip;
}

// A reference to a network path in a product's document breaks its install on every machine
// that cannot reach the server, and makes Windows call a server the maker chose: a package
// problem of the zip that holds the document, named by the document's entry.
void add_network_references(LibraryReport& report, const std::vector<std::string>& zips)
{
    for (const ReportProblem& p : report.problems) {
        if (p.status != RefStatus::refused || p.refusal != Refusal::network) {
            continue;
        }
        for (const ReportUse& use : p.uses) {
            for (const std::string& zip : zips) {
                if (!is_inside_root(use.file, zip, k_native_style)) {
                    continue;
                }
                std::string entry = use.file.substr(zip.size() + 1);
                std::replace(entry.begin(), entry.end(), fsys::k_sep, '/');
                report.package.push_back(ReportPackageProblem{
                    zip, {zipfs::ProblemKind::network_reference, std::move(entry),
                          "line " + std::to_string(use.line) + " names a network path: Windows would connect to its server"}});
            }
        }
    }
}

bool cannot_be_read(const std::vector<zipfs::PackageProblem>& problems)
{
    return std::any_of(problems.begin(), problems.end(),
                       [](const zipfs::PackageProblem& p) { return p.kind == zipfs::ProblemKind::unreadable_zip; });
}

}  // namespace

bool is_product_zip(std::string_view path)
{
    return ends_with_ignoring_case(path, ".zip");
}

LibraryReport build_product_report(fsys::FileSystem& disk, const std::vector<std::string>& paths,
                                   const std::vector<std::string>& roots, unsigned threads, const ReportProgress& progress,
                                   zipfs::CheckDepth depth)
{
    zipfs::MountedFileSystem mounted(disk);
    std::vector<std::string> all_roots;
    std::vector<std::string> readable;
    std::vector<ReportPackageProblem> package;
    for (const std::string& path : paths) {
        if (!is_product_zip(path) || !disk.is_readable_file(path)) {
            readable.push_back(path);
            continue;
        }
        std::vector<zipfs::PackageProblem> problems = zipfs::check_package(disk, path, depth);
        std::string reason;
        std::unique_ptr<zipfs::ZipFileSystem> zip;
        if (!cannot_be_read(problems) && (zip = zipfs::ZipFileSystem::open(disk, path, path, reason)) == nullptr) {
            problems = {{zipfs::ProblemKind::unreadable_zip, "", "the zip cannot be read: " + reason}};
        }
        if (zip != nullptr) {
            all_roots.push_back(content_folder(path, problems));
            readable.push_back(path);
            mounted.mount(std::move(zip));
        }
        for (zipfs::PackageProblem& p : problems) {
            package.push_back(ReportPackageProblem{path, std::move(p)});
        }
    }
    const std::size_t own_roots = all_roots.size();
    all_roots.insert(all_roots.end(), roots.begin(), roots.end());
    LibraryReport report = build_library_report(mounted, readable, all_roots, threads, progress, own_roots);
    report.package = std::move(package);
    std::vector<std::string> zips;
    for (const std::string& path : readable) {
        if (mounted.zip_at(path) != nullptr) {
            zips.push_back(path);
        }
    }
    add_network_references(report, zips);
    return report;
}
