// The content roots ("runtimes") a library spreads over: given on the command line, taken
// from a Poser LibraryPrefs.xml, or the saved Poser root. A content root is the folder that
// holds Runtime.
#pragma once

#include "engine/fsys/fsys.h"

#include <cstdio>
#include <string>
#include <vector>

// The roots in order of preference: each of `given` in its order, then every folder that
// the LibraryPrefs.xml `library_prefs` registers (when not empty), each listed once and
// normalised. A root that is itself a Runtime folder (it holds Libraries, Geometries or
// Textures and no Runtime of its own) stands for its parent, said once on `notes`.
// Registered folders that are on a drive this system cannot reach, or that do not exist,
// are named on `notes` and left out. With neither, the saved root setting. False with a
// one-line reason in `error` when there is no root at all, or a given root does not exist
// or is no folder, or the file cannot be read.
bool gather_content_roots(fsys::FileSystem& fs, const std::vector<std::string>& given, const std::string& library_prefs,
                          std::vector<std::string>& roots, std::string& error, std::vector<std::string>& notes);

// The LibraryPrefs.xml that "auto" stands for: the most recently changed one Poser keeps for
// the user (find_library_prefs). Any other value stays as it is. False with a one-line reason
// in `error` when "auto" finds none.
bool resolve_library_prefs(std::string& library_prefs, std::string& error);

// Where a report looks when given neither roots nor a LibraryPrefs.xml: on Windows, where
// Poser's own users are, the saved Poser root and then the newest LibraryPrefs.xml found;
// elsewhere the saved root alone (nothing is added here).
void add_default_report_sources(std::vector<std::string>& roots, std::string& library_prefs);

// The roots of a tarnwick-cli command that reads a library as the report does: `given` and
// `library_prefs` ("auto" resolved), or else where the report looks by default
// (add_default_report_sources), gathered by gather_content_roots; each note said on `err`.
bool gather_report_roots(fsys::FileSystem& fs, std::vector<std::string> given, std::string library_prefs,
                         std::vector<std::string>& roots, std::string& error, std::FILE* err);

// The folder `folder` names, from anywhere: absolute, without ".", doubled or trailing
// separators, and without ".." (with links followed where ".." would lead elsewhere by the
// text alone). The top folder stays "/" and a drive's top folder "C:\\". A bare drive ("C:")
// is left as it is: it names a different folder from every current folder. The program's one
// normaliser of roots.
std::string normalised_root(fsys::FileSystem& fs, const std::string& folder);

// A root as the Poser root is held, without a trailing separator: "/" becomes "" and "C:\\"
// the bare drive.
std::string root_without_trailing_separators(std::string root);
