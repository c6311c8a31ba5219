// Where in a run of lines a file reference may stand, found many bytes at a time. Every
// reference line holds one of a few pairs of bytes that the rest of a Poser file seldom does:
// a reference keyword holds "il" (the ...File keywords and "file"), "ap" (the ...Map keywords),
// "mR" (geomResource) or "pt" (the ...Script keywords), and a line that names geometry by its
// ending holds ".o" (".obj", ".obz"). Letters are compared in any case. A line without any of
// them is no reference; one with them may be, and is read by the exact rules.
#pragma once

// The first position at or after `from` where one of the pairs begins (its second byte before
// `end`), or `end` when there is none.
const char* next_reference_candidate(const char* from, const char* end);
