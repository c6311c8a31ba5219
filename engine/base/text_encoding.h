// Names between the program and the system. Inside the program a name is UTF-8 text, as
// POSIX systems hand it over; Windows names are UTF-16 and reach the wide-character calls
// through to_wide and to_utf8. Bytes that are not UTF-8 can still come from files older
// programs wrote (a Poser file's pointers, an old answers file): Windows reads those in the
// ANSI code page, as those programs did.
#pragma once

#include <string>
#include <string_view>

// True when `text` is UTF-8 as the standard writes it: no overlong form, no surrogate, nothing
// past U+10FFFF. A name kept in JSON, or in a zip marked as UTF-8, must be such text to be
// read back as the same name.
bool is_utf8(std::string_view text);
// The length of the UTF-8 sequence at `at` (1 to 4), or 0 when the bytes there are not such text.
std::size_t utf8_sequence_length(std::string_view text, std::size_t at);

// `text` with every run of bytes that is not UTF-8 read in the ANSI code page, so that a
// log or transcript holds UTF-8 throughout. Elsewhere than on Windows the bytes as they are.
std::string utf8_text(std::string_view text);

// A name the system gave (UTF-8) as a Poser file holds it: on Windows in the ANSI code page
// when every letter has a place there, as Poser and older versions of this program write
// it; in UTF-8 when some letter has none. Elsewhere, and for any other bytes, as it is.
std::string poser_file_text(std::string_view name);

#ifdef _WIN32
// `text` for a wide-character call: UTF-8 read as such (a lone surrogate in the three-byte
// form to_utf8 gives it), any other run of bytes in the ANSI code page.
std::wstring to_wide(std::string_view text);
// A wide-character text as UTF-8. A lone surrogate, which a Windows file name may hold,
// keeps its three-byte form, so that to_wide gives back the same name.
std::string to_utf8(std::wstring_view text);
#endif
