#include "tools/unrar/layout.h"

#include <cctype>
#include <cstdio>
#include <strings.h>

namespace {
bool EndsWithNoCase(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && strcasecmp(s.c_str() + s.size() - tail.size(), tail.c_str()) == 0;
}


// Where the N of "Name.partN.rar" lies: [digits, end); false for another name.
bool PartNumber(const std::string& name, size_t& digits, size_t& end)
{
    if (!EndsWithNoCase(name, ".rar"))
        return false;
    end = name.size() - 4;
    digits = end;
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1])))
        --digits;
    return digits < end && digits >= 5 && strncasecmp(name.c_str() + digits - 5, ".part", 5) == 0;
}
}  // namespace

bool IsLaterVolume(const std::string& name)
{
    size_t digits = 0, end = 0;
    if (!PartNumber(name, digits, end))
        return false;
    size_t first = name.find_first_not_of('0', digits);
    return first < end && (end - first > 1 || name[first] > '1');
}

std::string VolumeName(const std::string& first, int index)
{
    if (index == 0)
        return first;
    if (!EndsWithNoCase(first, ".rar"))
        return std::string();
    // Name.partN.rar, the digits as wide as the first volume's
    size_t digits = 0, end = 0;
    if (PartNumber(first, digits, end)) {
        std::string number = std::to_string(std::stoull(first.substr(digits, end - digits)) + uint64_t(index));
        if (number.size() < end - digits)
            number.insert(0, end - digits - number.size(), '0');
        return first.substr(0, digits) + number + first.substr(end);
    }
    // Name.rar, Name.r00, Name.r01, ...
    end = first.size() - 4;
    if (index > 100)
        return std::string();
    char tail[16];  // room for any int, not only the two digits wanted
    std::snprintf(tail, sizeof tail, ".r%02d", index - 1);
    return first.substr(0, end) + tail;
}
