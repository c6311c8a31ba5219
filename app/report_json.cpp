#include "app/report_output.h"

#include <nlohmann/json.hpp>

std::string report_json(const LibraryReport& r, std::string_view version)
{
    using nlohmann::json;
    json unreadable = json::array();
    for (const UnreadableFile& u : r.unreadable) {
        unreadable.push_back({{"path", u.path}, {"reason", u.reason}});
    }
    json problems = json::array();
    for (const ReportProblem& p : r.problems) {
        json uses = json::array();
        for (const ReportUse& u : p.uses) {
            uses.push_back({{"file", u.file}, {"line", u.line}});
        }
        problems.push_back({{"target", p.target},
                            {"kind", kind_name(p.kind)},
                            {"status", status_name(p.status)},
                            {"candidates", p.candidates},
                            {"uses", uses}});
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
          {"builtin", r.builtin}}},
        {"problems", problems},
    };
    // Names on a disk are bytes: whatever is not UTF-8 is replaced, so the document stays valid.
    return doc.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}
