// The check and the correction of one Poser document by the library rules. The references are
// those the report finds, resolved as the report resolves them; each one the report calls
// moved or missing is replaced (remembered, found by its Runtime path or by name, or picked),
// and a geometry pointer not in blank-colon notation is rewritten so. The corrected copy
// differs from the document only in the paths rewritten: every other byte stays.
#pragma once

#include "engine/fsys.h"
#include "engine/library_rules.h"
#include "engine/prompts.h"

#include <string>
#include <vector>

struct DocumentCheck {
    bool readable = false;
    bool needs_repair = false;
};
// Reads `orig` once, as a repair's check does (warnings and title included).
DocumentCheck check_by_library_rules(const std::string& orig, LibraryRules& rules, Prompts& wn, fsys::Listed listed);

// Writes the corrected copy of `orig` to `cor`, created as `mode` says (`cor_created` tells
// whether it was), compressed when `orig` is, and flushed to the disk. Returns 1 when the copy
// is complete and differs from `orig`; k_nothing_changed when the user left every reference
// needing repair as it is; 0 when it failed or a stop was asked for.
inline constexpr int k_nothing_changed = 2;
// Each replacement made is added to `made` when given.
int correct_by_library_rules(const std::string& orig, const std::string& cor, LibraryRules& rules, Prompts& wn,
                             fsys::Create mode, bool& cor_created, std::vector<Replacement>* made = nullptr);
