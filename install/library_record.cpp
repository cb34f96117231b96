#include "install/library_record.h"

#include "platform/text.h"
#include "platform/rtl.h"
#include "tools/unrar/layout.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

const char* const kLibraryRecordName = ".kestrow-installed";

namespace {
const AnsiString kHeading = "Kestrow library record 1\n";

bool WriteAll(int fd, const AnsiString& text)
{
    for (size_t done = 0; done < text.size();) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

// Every regular file and link below `path` (relative to `folder`), by path.
void Walk(int folder, const AnsiString& path, std::map<AnsiString, struct stat>& found)
{
    int fd = openat(folder, path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    DIR* dir = fd >= 0 ? fdopendir(fd) : nullptr;
    if (!dir) {
        if (fd >= 0)
            close(fd);
        return;
    }
    while (dirent* e = readdir(dir)) {
        AnsiString name = e->d_name;
        if (name == "." || name == "..")
            continue;
        AnsiString below = path.empty() ? name : path + "/" + name;
        struct stat st {};
        if (fstatat(folder, below.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(st.st_mode))
            Walk(folder, below, found);
        else
            found[below] = st;
    }
    closedir(dir);
}
}  // namespace

int WriteLibraryRecord(int folder, const AnsiString& code, const std::vector<LibraryFile>& files)
{
    AnsiString text = kHeading + "code\t" + EscapedField(code) + "\n";
    char crc[16];
    for (const LibraryFile& f : files) {
        std::snprintf(crc, sizeof crc, "%08x", f.crc);
        text += AnsiString(crc) + "\t" + IntToStr(int64_t(f.size)) + "\t" + EscapedField(f.path) + "\n";
    }
    const AnsiString temporary = AnsiString(kLibraryRecordName) + ".new";
    int fd = openat(folder, temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    bool written = fd >= 0 && WriteAll(fd, text) && fsync(fd) == 0;
    int err = errno;
    if (fd >= 0)
        close(fd);
    if (written && renameat(folder, temporary.c_str(), folder, kLibraryRecordName) == 0 && fsync(folder) == 0)
        return 0;
    err = errno ? errno : err;
    unlinkat(folder, temporary.c_str(), 0);
    return -(err ? err : EIO);
}

bool ReadLibraryRecord(const AnsiString& folder, AnsiString& code, std::vector<LibraryFile>& files)
{
    AnsiString text;
    try {
        if (!FileIsRegular(folder + "/" + kLibraryRecordName))
            return false;
        text = TFile::ReadAllText(folder + "/" + kLibraryRecordName);
    } catch (const EInOutError&) {
        return false;
    }
    if (text.compare(0, kHeading.size(), kHeading) != 0)
        return false;
    files.clear();
    code.clear();
    size_t at = kHeading.size();
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == AnsiString::npos)
            return false;  // cut short: not a record written whole
        AnsiString line = text.substr(at, end - at);
        at = end + 1;
        size_t tab = line.find('\t'), second = line.find('\t', tab + 1);
        if (line.rfind("code\t", 0) == 0) {
            code = UnescapedField(line.substr(5));
        } else if (tab == 8 && second != AnsiString::npos) {
            LibraryFile f;
            f.crc = uint32_t(std::strtoul(line.substr(0, 8).c_str(), nullptr, 16));
            f.size = std::strtoull(line.c_str() + tab + 1, nullptr, 10);
            f.path = UnescapedField(line.substr(second + 1));
            files.push_back(f);
        } else {
            return false;
        }
    }
    return !code.empty();
}

int VerifyLibrary(const AnsiString& folder, FILE* out)
{
    AnsiString code;
    std::vector<LibraryFile> files;
    if (!ReadLibraryRecord(folder, code, files)) {
        std::fprintf(out, "%s holds no record of an installed library (%s)\n", folder.c_str(), kLibraryRecordName);
        return 8;
    }
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::map<AnsiString, struct stat> found;
    Walk(fd, "", found);
    found.erase(kLibraryRecordName);
    int missing = 0, changed = 0, unexpected = 0;
    for (const LibraryFile& f : files) {
        auto there = found.find(f.path);
        uint64_t size = 0;
        uint32_t crc = 0;
        if (there == found.end()) {
            std::fprintf(out, "missing: %s\n", PrintableLine(f.path, 4096).c_str());
            ++missing;
            continue;
        }
        found.erase(there);
        if (!MeasureFile(fd, f.path.c_str(), size, crc) || size != f.size || crc != f.crc) {
            const char* what = size != f.size ? "size" : "CRC";
            std::fprintf(out, "changed: %s (%s)\n", PrintableLine(f.path, 4096).c_str(), what);
            ++changed;
        }
    }
    for (const auto& [path, st] : found) {
        std::fprintf(out, "unexpected: %s\n", PrintableLine(path, 4096).c_str());
        ++unexpected;
    }
    if (fd >= 0)
        close(fd);
    if (missing + changed + unexpected == 0) {
        std::fprintf(out, "the library in %s is whole: %zu files, as installed for %s\n", folder.c_str(), files.size(),
                     code.c_str());
        return 0;
    }
    std::fprintf(out, "the library in %s is not whole: %d missing, %d changed, %d unexpected of %zu files\n",
                 folder.c_str(), missing, changed, unexpected, files.size());
    return 8;
}
