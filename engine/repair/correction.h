// The correction pass: a copy of a Poser file in which every geometry reference is written
// in blank-colon notation, and each missing geometry file is replaced by one the user
// picks. The picks are remembered in the replacement list for all later files and runs.
#pragma once

#include "engine/base/prompts.h"
#include "engine/fsys/fsys.h"
#include "engine/fsys/textio.h"
#include "engine/text/edits.h"
#include "engine/text/refline.h"

#include <string>
#include <string_view>
#include <vector>

class Run;

// Writes the corrected copy of `orig` to `cor` (created or emptied), flushed to the disk.
// Returns 1 when the copy is complete; 0 when it failed or the user cancelled a chooser.
int correctposerfile(Run& run, const std::string& orig, const std::string& cor, Prompts& wn);

// As correctposerfile, creating `cor` as `mode` says; `cor_created` tells whether `cor` was
// created, so that a caller who cleans up never deletes a file the pass did not make.
int correct_into(Run& run, const std::string& orig, const std::string& cor, Prompts& wn, fsys::Create mode,
                 bool& cor_created);

// As correct_into, but the copy is left open in `out`, written out but not yet flushed to the
// disk (out.failed() tells of a write that failed): several copies can then be flushed together.
// `orig` is read with `in`, which a folder's files share with their buffer.
int start_correction(Run& run, const std::string& orig, const std::string& cor, Prompts& wn, fsys::Create mode,
                     bool& cor_created, TextReader& in, TextWriter& out);

// Writes the corrected lines of `orig`, open in `in`, to `out`. Returns 1 when the copy is
// complete; 0 when a line has no marker, a chooser was cancelled, a stop was asked for, or
// `orig` could not be read to its end (the user is warned).
int write_corrected_lines(Run& run, const std::string& orig, Prompts& wn, TextReader& in, TextWriter& out);

// The rewrite of a reference line (trimmed, its marker `m`) whose path is to read `written`:
// the line keeps what stands before its marker (a colon marker loses its colon, the written
// path brings its own) and ends in the written path.
Edit reference_line_edit(std::string_view trimmed, const Marker& m, std::string written);

// Asks with the chooser titled `title` for the file to use instead of a missing one, offering
// `proposal` in `initdir` (its own folder when empty), until the user picks a file inside one
// of `roots` (links followed) or cancels. Returns that root's index, with the pick spelt below
// it in `pick`; npos on cancel.
std::size_t ask_for_replacement(fsys::FileSystem& fs, const std::string& proposal, std::string_view title,
                                const FileFilter& filter, const std::vector<std::string>& roots, std::string& pick,
                                Prompts& wn, std::string initdir = std::string());

// The two log lines of one replaced pointer.
std::string replacement_lines(const std::string& oldobj, const std::string& objfile);
