// The Poser root: read from the settings, confirmed by the user or pointed out by choosing
// a file in it, and saved when newly chosen.
#pragma once

#include "app/folder_picker.h"
#include "engine/base/prompts.h"

class Run;

// Sets the run's posername. Returns 1 to go on, 0 when the program must quit (the user gave no
// root). With `picker` the user who denies the stored root picks the root folder itself
// instead of choosing a file in it.
int set_poser_root(Run& run, Prompts& wn, const FolderPicker& picker = nullptr);
