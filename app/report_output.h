// The library report as people and programs read it: plain text for a terminal, one JSON
// document, or one self-contained HTML page. Every path and target comes from the user's
// files, so each output escapes it in its own way.
#pragma once

#include "app/visible_text.h"
#include "engine/report/library_report.h"

#include <string>
#include <string_view>


// "and N more uses" after `lead` for a target that used more than it kept; "" for one that kept all.
std::string more_uses(const ReportProblem& p, std::string_view lead);

// About how many bytes an output of `report` takes for its paths, with `per_item` more for
// each target, use and candidate: room to reserve before writing it.
std::size_t listed_bytes(const LibraryReport& report, std::size_t per_item);

// The report as text: the problems, worst first, then one summary line per status and per
// kind, and the files read; a library without anything to report gets one line.
std::string report_text(const LibraryReport& report);

// The report as one JSON document. Bytes that are not UTF-8 become U+FFFD.
std::string report_json(const LibraryReport& report, std::string_view version);

// How the page shows the paths of documents and candidates: whole, or (the window program's
// page) from the root they lie under, whole on hovering.
enum class PagePaths { whole, from_roots };

// The report as one HTML page with its style inline, no outside resources, signed at its foot
// by `program`, the program that made it, and its `version`.
std::string report_html(const LibraryReport& report, std::string_view version, PagePaths paths = PagePaths::whole,
                        std::string_view program = "tarnwick-cli");
