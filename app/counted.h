// A number with the word it counts, as people write it: "1 file", "2 files", "0 files".
#pragma once

#include <string>
#include <string_view>

inline std::string counted(long long n, std::string_view one, std::string_view many)
{
    return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}
