#include "tools/unrar/layout.h"

#include <cctype>
#include <cstdio>
#include <strings.h>

namespace {
bool EndsWithNoCase(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && strcasecmp(s.c_str() + s.size() - tail.size(), tail.c_str()) == 0;
}
}  // namespace

std::string VolumeName(const std::string& first, int index)
{
    if (index == 0)
        return first;
    if (!EndsWithNoCase(first, ".rar"))
        return std::string();
    // Name.partN.rar, the digits as wide as the first volume's
    size_t end = first.size() - 4;
    size_t digits = end;
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(first[digits - 1])))
        --digits;
    if (digits < end && digits >= 5 && strncasecmp(first.c_str() + digits - 5, ".part", 5) == 0) {
        std::string number = std::to_string(std::stoull(first.substr(digits, end - digits)) + uint64_t(index));
        if (number.size() < end - digits)
            number.insert(0, end - digits - number.size(), '0');
        return first.substr(0, digits) + number + first.substr(end);
    }
    // Name.rar, Name.r00, Name.r01, ...
    if (index > 100)
        return std::string();
    char tail[16];  // room for any int, not only the two digits wanted
    std::snprintf(tail, sizeof tail, ".r%02d", index - 1);
    return first.substr(0, end) + tail;
}
