#include "install/name_rules.h"

#include "platform/rtl.h"

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <unistd.h>

namespace {
// Made and removed at once; the pid keeps two installers' probes apart.
bool DiskTakes(int folder, const std::string& name)
{
    int fd = openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno == EEXIST;
    close(fd);
    unlinkat(folder, name.c_str(), 0);
    return true;
}

std::vector<AnsiString> Parts(const AnsiString& path)
{
    std::vector<AnsiString> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t stop = path.find_first_of("/\\", start);
        if (stop == AnsiString::npos)
            stop = path.size();
        if (stop > start)
            parts.push_back(path.substr(start, stop - start));
        start = stop + 1;
    }
    return parts;
}

bool OddCharacter(unsigned char c) { return c < 0x20 || c == 0x7F || AnsiString("\"*:<>?|").find(char(c)) != AnsiString::npos; }

AnsiString Shown(const AnsiString& path)
{
    AnsiString shown = path;
    for (char& c : shown)
        if (c == '\\')
            c = '/';
    return "\"" + shown + "\"";
}
}  // namespace

DiskNameRules ProbeDiskNames(int folder)
{
    DiskNameRules rules;
    if (long most = fpathconf(folder, _PC_NAME_MAX); most > 0)
        rules.maxNameBytes = most;
    const AnsiString probe = ".kestrow-probe-" + IntToStr(getpid());
    rules.refusesOddCharacters = !DiskTakes(folder, probe + "-?:");
    int fd = openat(folder, (probe + "-a").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
        close(fd);
        rules.foldsCase = faccessat(folder, (".KESTROW-PROBE-" + IntToStr(getpid()) + "-A").c_str(), F_OK,
                                    AT_SYMLINK_NOFOLLOW) == 0;
        unlinkat(folder, (probe + "-a").c_str(), 0);
    }
    return rules;
}

AnsiString RefusedName(const std::vector<AnsiString>& names, const DiskNameRules& rules)
{
    std::map<AnsiString, const AnsiString*> folded;
    for (const AnsiString& name : names) {
        for (const AnsiString& part : Parts(name)) {
            if (long(part.size()) > rules.maxNameBytes)
                return Shown(name) + " has a name too long for this disk (" + IntToStr(int64_t(part.size())) +
                       " bytes; it takes " + IntToStr(rules.maxNameBytes) + ")";
            for (unsigned char c : part)
                if (rules.refusesOddCharacters && OddCharacter(c))
                    return Shown(name) + " has a character this disk does not take in names (none of \" * : < > ? | "
                                         "nor control characters)";
        }
        if (!rules.foldsCase)
            continue;
        AnsiString key;
        for (const AnsiString& part : Parts(name))
            key += FoldedFileName(part) + "/";
        auto [at, fresh] = folded.emplace(key, &name);
        // The same name twice (two archives of the order) is one file anywhere.
        if (!fresh && *at->second != name)
            return Shown(*at->second) + " and " + Shown(name) +
                   " are one name on this disk, which does not tell letter case apart";
    }
    return "";
}
