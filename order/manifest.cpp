#include "order/manifest.h"

#include "app/globals.h"
#include "platform/text.h"
#include "net/http_requests.h"

#include <cstring>
#include <set>

int Read_NameFileLoad(const AnsiString& path, int& count, std::vector<AnsiString>& names, std::vector<int>& parts)
{
    FILE* file = std::fopen(path.c_str(), "r+");
    if (!file) {
        count = 0;
        return kManifestCannotOpen;
    }
    int result = ReadManifest(file, count, names, parts);
    std::fclose(file);
    return result;
}

int ReadManifest(FILE* file, int& count, std::vector<AnsiString>& names, std::vector<int>& parts)
{
    const int capacity = std::min<int>(count, int(std::min(names.size(), parts.size())));
    count = 0;
    // Pieces of at most 299 characters: the rest of a longer line is read,
    // and tested, as a line of its own.
    char line[300];
    while (std::fgets(line, sizeof line, file)) {
        AnsiString text = line;
        if (Pos(" ", text) || Pos("*", text) || Pos("?", text) || !Pos(ProtokolCopyFile, text))
            return kManifestBadLine;
        int part = -1;
        if (Pos(".rar", text)) {
            int at = Pos("part", text);
            if (at == 0) {
                part = 0;
            } else {
                char digit = at + 3 < int(text.size()) ? text[size_t(at + 3)] : '\0';
                if (digit < '0' || digit > '9')
                    return kManifestBadPartNumber;
                part = digit - '0';
            }
        }
        if (part > 1 && (count == 0 || parts[size_t(count - 1)] != part - 1))
            return kManifestOutOfSequence;
        if (count == capacity)
            return count == 0 ? kManifestEmpty : kManifestTooLong;
        Delete_Last_Symbol(line, 1);
        // A manifest written with CR LF: the CR is no part of the URL or the file name.
        if (size_t n = std::strlen(line); n > 0 && line[n - 1] == '\r')
            line[n - 1] = '\0';
        names[size_t(count)] = line;
        parts[size_t(count)] = part;
        ++count;
    }
    return count == 0 ? kManifestEmpty : 0;
}

namespace {
bool IsFileUrl(const AnsiString& url)
{
    const AnsiString scheme = ProtokolCopyFile;
    if (url.compare(0, scheme.size(), scheme) != 0)
        return false;
    for (char c : url)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f || c == '#')
            return false;
    if (!UrlParses(url))
        return false;
    size_t host = scheme.size(), path = url.find('/', host);
    if (path == AnsiString::npos || path == host)
        return false;
    AnsiString name;
    return LocalFileName(url, name) == 0;
}
}  // namespace

int CheckManifestEntries(const std::vector<AnsiString>& names, int count, int skip, int& bad)
{
    std::set<AnsiString> seen;
    for (bad = 0; bad < count; ++bad) {
        const AnsiString& url = names[size_t(bad)];
        if (!IsFileUrl(url))
            return kManifestNotAFileUrl;
        AnsiString name;
        LocalFileName(url, name);  // the name page 2 gives the local file
        // Many disks a library goes onto take Manual.pdf and manual.pdf for one file.
        if (bad != skip && !seen.insert(FoldedFileName(name)).second)
            return kManifestSameName;
    }
    bad = -1;
    return 0;
}
