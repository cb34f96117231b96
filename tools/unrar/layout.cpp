#include "tools/unrar/layout.h"

#include "tools/unrar/headers.h"

namespace rar_headers {

void Walker::Add(const Volume& v, Piece piece, bool firstFileOfVolume)
{
    const std::string& name = piece.name;
    if (piece.encrypted)
        v.Refuse("encrypted entry refused: " + name);
    if (piece.link)
        v.Refuse("link entry refused: " + name);
    if (!IsSafeRelativePath(name))
        v.Refuse("unsafe path refused: " + name);
    if (piece.continuesFromPrevious) {
        if (!pending_ || pending_->name != name || !firstFileOfVolume)
            v.Fail("\"" + name + "\" continues from a volume that is not the one before");
    } else if (pending_) {
        v.Fail("\"" + pending_->name + "\" is cut short: its next part is not in this volume");
    }
    pending_.reset();
    if (piece.continuesInNext) {
        pending_ = std::move(piece);  // the last piece carries the whole file's checksum
        return;
    }
    if (layout.names.size() + name.size() > UINT32_MAX)
        v.Fail("more names than an archive holds");
    piece.entry.nameAt = uint32_t(layout.names.size());
    piece.entry.nameLength = uint32_t(name.size());
    layout.names += name;
    layout.entries.push_back(piece.entry);
}
void Walker::Finish(const Volume& last)
{
    if (pending_)
        last.Fail("\"" + pending_->name + "\" continues in a volume that does not follow");
}

}  // namespace rar_headers

namespace {
using namespace rar_headers;

constexpr int kMaxVolumes = 10000;

int Format(const Volume& v)
{
    std::vector<uint8_t> head = v.Read(0, std::min<uint64_t>(8, v.size()));
    if (head.size() >= 8 && std::memcmp(head.data(), kRar5Signature, 8) == 0)
        return 5;
    if (head.size() >= 7 && std::memcmp(head.data(), kRar4Signature, 7) == 0)
        return 4;
    v.Fail("not a RAR archive");
}
}  // namespace

bool IsSafeRelativePath(const std::string& name)
{
    if (name.empty() || name[0] == '/' || name[0] == '\\')
        return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t stop = name.find_first_of("/\\", start);
        if (stop == std::string::npos)
            stop = name.size();
        if (name.compare(start, stop - start, "..") == 0)
            return false;
        start = stop + 1;
    }
    return true;
}

bool MeasureFile(int dir, const char* name, uint64_t& size, uint32_t& crc)
{
    int fd = ::openat(dir, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    bool ok = fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    static thread_local std::vector<uint8_t> buffer(1 << 20);
    size = 0;
    crc = 0;
    for (ssize_t n = 0; ok && (n = ::read(fd, buffer.data(), buffer.size())) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok) {
            crc = Crc32Update(crc, buffer.data(), size_t(n));
            size += uint64_t(n);
        }
    }
    if (fd >= 0)
        ::close(fd);
    return ok;
}

bool FileMatchesEntry(int dir, const char* name, const ArchiveEntry& entry)
{
    // The size first: a file of another size is not read at all.
    struct stat st {};
    if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) || uint64_t(st.st_size) != entry.size)
        return false;
    uint64_t size = 0;
    uint32_t crc = 0;
    return !entry.hasCrc || (MeasureFile(dir, name, size, crc) && size == entry.size && crc == entry.crc);
}

ArchiveLayout ReadLayout(const std::string& firstVolume)
{
    Walker walker;
    for (int index = 0;; ++index) {
        std::string path = VolumeName(firstVolume, index);
        if (path.empty() || index >= kMaxVolumes)
            throw UnrarError(firstVolume, "volume " + std::to_string(index + 1) + " cannot be named");
        struct stat st {};
        if (index > 0 && stat(path.c_str(), &st) != 0)
            throw UnrarError(path, "missing volume");
        Volume volume(path);
        int format = Format(volume);
        if (index == 0)
            walker.layout.format = format;
        else if (format != walker.layout.format)
            volume.Fail("a volume of another format");
        bool more = format == 5 ? ReadRar5Volume(volume, index, walker) : ReadRar4Volume(volume, index, walker);
        walker.layout.volumes.push_back(path);
        walker.layout.endsInsideFile.push_back(walker.InsideFile());
        if (!more) {
            walker.Finish(volume);
            return walker.layout;
        }
    }
}
