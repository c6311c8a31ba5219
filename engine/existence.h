// Whether a referenced geometry file exists under the Poser root.
#pragma once

#include "engine/prompts.h"

#include <string>
#include <string_view>

// True when `disk_path` can be opened for reading as a regular file. Answers are reused
// while `wn` has shown no prompt since they were obtained: the user may add or remove
// files while a prompt is open, but nothing else the program waits for.
bool reference_exists(const std::string& disk_path, const Prompts& wn);

// Forgets every remembered answer; called whenever the program itself changes the disk.
void forget_existence();
