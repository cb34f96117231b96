#include "tools/unrar/layout.h"

#include "tools/unrar/crc32.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const uint8_t kRar5Signature[8] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x01, 0x00};
const uint8_t kRar4Signature[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
constexpr uint64_t kMaxHeader = 2 * 1024 * 1024;
constexpr int kMaxVolumes = 10000;

uint32_t Crc(const uint8_t* data, size_t n) { return Crc32Update(0, data, n); }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

bool EndsWithNoCase(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && strcasecmp(s.c_str() + s.size() - tail.size(), tail.c_str()) == 0;
}

class Volume {
public:
    explicit Volume(std::string path) : path_(std::move(path))
    {
        fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (fd_ < 0 || fstat(fd_, &st) != 0)
            throw UnrarError(path_, std::strerror(errno));
        if (!S_ISREG(st.st_mode))
            throw UnrarError(path_, "not a file");
        size_ = uint64_t(st.st_size);
    }
    ~Volume()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Volume(const Volume&) = delete;
    Volume& operator=(const Volume&) = delete;

    const std::string& path() const { return path_; }
    uint64_t size() const { return size_; }
    std::vector<uint8_t> Read(uint64_t at, uint64_t n) const
    {
        if (at > size_ || n > size_ - at)
            Fail("truncated: a header runs past the end of the volume");
        std::vector<uint8_t> out(n);
        if (n && ::pread(fd_, out.data(), n, off_t(at)) != ssize_t(n))
            Fail(std::string("cannot read: ") + std::strerror(errno));
        return out;
    }
    [[noreturn]] void Fail(const std::string& reason) const { throw UnrarError(path_, reason); }

private:
    std::string path_;
    int fd_ = -1;
    uint64_t size_ = 0;
};

// Reads a header's fields; running past its end is a malformed header.
class Cursor {
public:
    Cursor(const Volume& v, const uint8_t* p, size_t n) : v_(v), p_(p), n_(n) {}
    uint64_t Vint()
    {
        uint64_t value = 0;
        for (int shift = 0; shift < 70; shift += 7) {
            uint8_t b = Byte();
            value |= uint64_t(b & 0x7F) << shift;
            if (!(b & 0x80))
                return value;
        }
        v_.Fail("malformed header: bad number");
    }
    uint8_t Byte() { return *Take(1); }
    uint32_t U32() { return Le32(Take(4)); }
    std::string Text(uint64_t n) { return std::string(reinterpret_cast<const char*>(Take(n)), size_t(n)); }
    const uint8_t* Take(uint64_t n)
    {
        if (n > n_ - at_)
            v_.Fail("malformed header");
        const uint8_t* p = p_ + at_;
        at_ += size_t(n);
        return p;
    }
    size_t Left() const { return n_ - at_; }

private:
    const Volume& v_;
    const uint8_t* p_;
    size_t n_;
    size_t at_ = 0;
};

// One piece of a file as a volume stores it; a file may span volumes.
struct Piece {
    ArchiveEntry entry;
    bool link = false;
    bool encrypted = false;
    bool continuesFromPrevious = false;
    bool continuesInNext = false;
};

class Walker {
public:
    ArchiveLayout layout;

    void Add(const Volume& v, Piece piece, bool firstFileOfVolume)
    {
        const std::string& name = piece.entry.name;
        if (piece.encrypted)
            v.Fail("encrypted entry refused: " + name);
        if (piece.link)
            v.Fail("link entry refused: " + name);
        if (!IsSafeRelativePath(name))
            v.Fail("unsafe path refused: " + name);
        if (piece.continuesFromPrevious) {
            if (!pending_ || pending_->name != name || !firstFileOfVolume)
                v.Fail("\"" + name + "\" continues from a volume that is not the one before");
        } else if (pending_) {
            v.Fail("\"" + pending_->name + "\" is cut short: its next part is not in this volume");
        }
        pending_.reset();
        if (piece.continuesInNext)
            pending_ = piece.entry;  // the last piece carries the whole file's checksum
        else
            layout.entries.push_back(piece.entry);
    }
    bool InsideFile() const { return pending_.has_value(); }
    void Finish(const Volume& last)
    {
        if (pending_)
            last.Fail("\"" + pending_->name + "\" continues in a volume that does not follow");
    }

    // Returns whether another volume follows.
    bool Rar5(const Volume& v, int index)
    {
        uint64_t pos = sizeof kRar5Signature;
        bool sawMain = false, sawEnd = false, notLast = false, firstFile = true;
        while (!sawEnd) {
            if (pos >= v.size())
                v.Fail("truncated: the volume ends before its end-of-archive header");
            std::vector<uint8_t> head = v.Read(pos, std::min<uint64_t>(14, v.size() - pos));
            if (head.size() < 5)
                v.Fail("truncated header");
            uint32_t crc = Le32(head.data());
            Cursor sizeField(v, head.data() + 4, head.size() - 4);
            uint64_t headerSize = sizeField.Vint();
            size_t sizeLen = head.size() - 4 - sizeField.Left();
            if (headerSize == 0 || headerSize > kMaxHeader)
                v.Fail("malformed header size");
            // The size field is part of what the header's CRC covers.
            std::vector<uint8_t> h = v.Read(pos + 4, sizeLen + headerSize);
            if (Crc(h.data(), h.size()) != crc)
                v.Fail("header CRC mismatch at offset " + std::to_string(pos));
            Cursor c(v, h.data() + sizeLen, size_t(headerSize));
            uint64_t type = c.Vint(), flags = c.Vint();
            uint64_t extraSize = flags & 0x1 ? c.Vint() : 0;
            uint64_t dataSize = flags & 0x2 ? c.Vint() : 0;
            uint64_t dataStart = pos + 4 + h.size();
            if (dataSize > v.size() - std::min(v.size(), dataStart))
                v.Fail("truncated: data runs past the end of the volume");
            if (extraSize > headerSize)
                v.Fail("malformed header");
            switch (type) {
            case 1: {  // main archive header
                sawMain = true;
                uint64_t archiveFlags = c.Vint();
                bool numbered = archiveFlags & 0x2;
                uint64_t number = numbered ? c.Vint() : 0;
                if (index == 0 && number != 0)
                    v.Fail("this is volume " + std::to_string(number + 1) + ", not the first");
                if (index > 0 && number != uint64_t(index))
                    v.Fail("volume number " + std::to_string(number + 1) + " where " + std::to_string(index + 1) +
                           " was expected");
                break;
            }
            case 4:
                v.Fail("encrypted archive refused");
            case 2:  // file
            case 3: {  // service data (comments, ...): checked, not extracted
                Piece piece;
                uint64_t fileFlags = c.Vint();
                piece.entry.size = c.Vint();
                c.Vint();  // attributes
                if (fileFlags & 0x2)
                    c.U32();
                piece.entry.hasCrc = fileFlags & 0x4;
                if (piece.entry.hasCrc)
                    piece.entry.crc = c.U32();
                c.Vint();  // compression
                c.Vint();  // host system
                piece.entry.name = c.Text(c.Vint());
                piece.entry.directory = fileFlags & 0x1;
                Cursor extra(v, h.data() + sizeLen + headerSize - extraSize, size_t(extraSize));
                while (extra.Left() > 0) {
                    uint64_t recordSize = extra.Vint();
                    Cursor record(v, extra.Take(recordSize), size_t(recordSize));
                    uint64_t recordType = record.Vint();
                    piece.encrypted |= recordType == 0x01;
                    piece.link |= recordType == 0x05;
                    piece.entry.olderVersion |= recordType == 0x04;
                }
                piece.continuesFromPrevious = flags & 0x8;
                piece.continuesInNext = flags & 0x10;
                if (type == 2) {
                    Add(v, piece, firstFile);
                    firstFile = false;
                } else if (piece.encrypted) {
                    v.Fail("encrypted data refused");
                }
                break;
            }
            case 5:  // end of archive
                notLast = c.Vint() & 0x1;
                sawEnd = true;
                break;
            default:
                break;
            }
            if (!sawMain)
                v.Fail("not a RAR archive: no archive header");
            pos = dataStart + dataSize;
        }
        return notLast;
    }

    bool Rar4(const Volume& v, int index)
    {
        uint64_t pos = sizeof kRar4Signature;
        bool sawMain = false, sawEnd = false, next = false, lastSplitAfter = false, firstFile = true;
        while (!sawEnd && pos < v.size()) {
            std::vector<uint8_t> base = v.Read(pos, 7);
            uint16_t crc = Le16(base.data());
            uint8_t type = base[2];
            uint16_t flags = Le16(base.data() + 3);
            uint16_t size = Le16(base.data() + 5);
            if (size < 7)
                v.Fail("malformed block at offset " + std::to_string(pos));
            std::vector<uint8_t> h = v.Read(pos, size);
            if ((Crc(h.data() + 2, size - 2) & 0xFFFF) != crc)
                v.Fail("header CRC mismatch at offset " + std::to_string(pos));
            bool fileLike = type == 0x74 || type == 0x7A;
            uint64_t dataSize = 0;
            if (fileLike) {
                if (size < 32)
                    v.Fail("malformed file header");
                dataSize = Le32(h.data() + 7);
                if (flags & 0x100) {
                    if (size < 40)
                        v.Fail("malformed file header");
                    dataSize |= uint64_t(Le32(h.data() + 32)) << 32;
                }
            } else if (flags & 0x8000) {
                if (size < 11)
                    v.Fail("malformed block");
                dataSize = Le32(h.data() + 7);
            }
            uint64_t dataStart = pos + size;
            if (dataSize > v.size() - std::min(v.size(), dataStart))
                v.Fail("truncated: data runs past the end of the volume");
            if (type != 0x73 && !sawMain)
                v.Fail("not a RAR archive: no archive header");
            switch (type) {
            case 0x73:  // archive header
                sawMain = true;
                if (flags & 0x80)
                    v.Fail("encrypted archive refused");
                if (index > 0 && (flags & 0x100))
                    v.Fail("a first volume where volume " + std::to_string(index + 1) + " was expected");
                if (index == 0 && (flags & 0x1) && (flags & 0x10) && !(flags & 0x100))
                    v.Fail("not the first volume of its set");
                break;
            case 0x74: {  // file
                Piece piece;
                uint64_t unpacked = Le32(h.data() + 11);
                uint8_t host = h[15];
                piece.entry.crc = Le32(h.data() + 16);
                piece.entry.hasCrc = true;
                uint16_t nameSize = Le16(h.data() + 26);
                uint32_t attributes = Le32(h.data() + 28);
                size_t at = 32;
                if (flags & 0x100) {
                    unpacked |= uint64_t(Le32(h.data() + 36)) << 32;
                    at = 40;
                }
                if (at + nameSize > size)
                    v.Fail("malformed file header");
                std::string name(reinterpret_cast<const char*>(h.data() + at), nameSize);
                if (flags & 0x200)
                    name = name.substr(0, name.find('\0'));  // the rest is its Unicode form
                piece.entry.name = name;
                piece.entry.size = unpacked;
                piece.entry.directory = (flags & 0xE0) == 0xE0;
                piece.link = host == 3 && (attributes & 0xF000) == 0xA000;
                piece.encrypted = flags & 0x4;
                piece.continuesFromPrevious = flags & 0x1;
                piece.continuesInNext = flags & 0x2;
                lastSplitAfter = piece.continuesInNext;
                Add(v, piece, firstFile);
                firstFile = false;
                break;
            }
            case 0x7B: {  // end of archive
                sawEnd = true;
                next = flags & 0x1;
                size_t at = 7 + (flags & 0x2 ? 4 : 0);
                if ((flags & 0x8) && at + 2 <= size && Le16(h.data() + at) != index)
                    v.Fail("volume number " + std::to_string(Le16(h.data() + at) + 1) + " where " +
                           std::to_string(index + 1) + " was expected");
                break;
            }
            default:
                break;
            }
            pos = dataStart + dataSize;
        }
        if (!sawMain)
            v.Fail("not a RAR archive: no archive header");
        // Old archives end without an end block: a file cut at the end says more follows.
        return sawEnd ? next : lastSplitAfter;
    }

private:
    std::optional<ArchiveEntry> pending_;
};

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
        bool more = format == 5 ? walker.Rar5(volume, index) : walker.Rar4(volume, index);
        walker.layout.volumes.push_back(path);
        walker.layout.endsInsideFile.push_back(walker.InsideFile());
        if (!more) {
            walker.Finish(volume);
            return walker.layout;
        }
    }
}
