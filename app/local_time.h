// A moment as the user's clock shows it, for names of run folders and report pages.
#pragma once

#include <ctime>
#include <string>

// `when` in local time, as std::strftime writes it with `format`.
std::string local_time_text(std::time_t when, const char* format);
