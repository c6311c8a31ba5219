// Text from the user's files made safe to show on a terminal.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// `text` with control characters (C1 ones included) and bytes that are not UTF-8 shown as
// \t, \n, \r, \e or \xNN, so that nothing read from a file can move the cursor or change a
// terminal's state.
std::string visible(std::string_view text);
// The same appended to `out`, which a long listing builds without a string per piece.
void append_visible(std::string& out, std::string_view text);
