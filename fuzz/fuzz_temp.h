// A private folder for one fuzzing process, removed when the process ends.
#pragma once

#include <string>

// Creates the folder on first use; its path without a trailing separator.
const std::string& fuzz_folder();
// Writes `bytes` to `path` exactly; stops the run when the disk refuses.
void write_exactly(const std::string& path, const std::string& bytes);
std::string read_exactly(const std::string& path);
