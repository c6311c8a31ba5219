#include "app/local_time.h"

std::string local_time_text(std::time_t when, const char* format)
{
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &when);
#else
    localtime_r(&when, &local);
#endif
    char text[64];
    return std::string(text, std::strftime(text, sizeof text, format, &local));
}
