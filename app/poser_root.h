// The Poser root: read from the settings, confirmed by the user or pointed out by choosing
// a file in it, and saved when newly chosen.
#pragma once

#include "engine/prompts.h"

// Sets posername. Returns 1 to go on, 0 when the program must quit (the user gave no root).
int set_poser_root(Prompts& wn);
