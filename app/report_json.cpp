#include "app/report_output.h"

#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;

// A target with its uses; in a report of product zips also where it was found ("product",
// "root", or null when nowhere).
json target_json(const LibraryReport& r, const ReportProblem& p)
{
    json uses = json::array();
    for (const ReportUse& u : p.uses) {
        uses.push_back({{"file", u.file}, {"line", u.line}});
    }
    json target = {{"target", p.target}, {"kind", kind_name(p.kind)}, {"status", status_name(p.status)},
                   {"candidates", p.candidates}, {"uses", uses}};
    if (p.status == RefStatus::refused) {
        target["reason"] = refusal_words(p.refusal);
        target["refusal"] = refusal_name(p.refusal);
    }
    if (r.own_roots > 0) {
        const std::string_view from = r.from(p.root);
        target["from"] = from.empty() ? json(nullptr) : json(from);
    }
    return target;
}

// What a report of product zips adds: what breaks their install, and what they need from the roots.
void add_product(const LibraryReport& r, json& doc)
{
    json package = json::array();
    for (const ReportPackageProblem& p : r.package) {
        package.push_back({{"zip", p.zip}, {"kind", zipfs::problem_kind_name(p.problem.kind)},
                           {"entry", p.problem.entry}, {"message", p.problem.message}});
    }
    json dependencies = json::array();
    for (const ReportProblem& p : r.dependencies) {
        dependencies.push_back(target_json(r, p));
    }
    doc["product"] = {{"roots", json(std::vector<std::string>(r.roots.begin(), r.roots.begin() + static_cast<std::ptrdiff_t>(r.own_roots)))},
                      {"package", package},
                      {"dependencies", dependencies}};
}

}  // namespace

std::string report_json(const LibraryReport& r, std::string_view version)
{
    json unreadable = json::array();
    for (const UnreadableFile& u : r.unreadable) {
        unreadable.push_back({{"path", u.path}, {"reason", u.reason}});
    }
    json problems = json::array();
    for (const ReportProblem& p : r.problems) {
        problems.push_back(target_json(r, p));
    }
    json doc = {
        {"version", version},
        {"roots", r.roots},
        {"files", {{"read", r.files_read}, {"compressed", r.files_compressed}, {"backups_skipped", r.backups_skipped},
                   {"unreadable", unreadable}}},
        {"references",
         {{"total", r.total},
          {"ok", r.count(RefStatus::ok)},
          {"absolute", r.count(RefStatus::absolute)},
          {"case", r.count(RefStatus::case_only)},
          {"moved", r.count(RefStatus::moved)},
          {"missing", r.count(RefStatus::missing)},
          {"refused", r.count(RefStatus::refused)},
          {"builtin", r.builtin}}},
        {"problems", problems},
    };
    if (r.own_roots > 0 || !r.package.empty()) {
        add_product(r, doc);
    }
    // Names on a disk are bytes: whatever is not UTF-8 is replaced, so the document stays valid.
    return doc.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}
