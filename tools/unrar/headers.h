#pragma once
// What the readers of RAR 4 and RAR 5 headers share: a volume read with
// bounds checks, a cursor over one header's fields, and the list of entries
// the volumes' pieces add up to. Inside the unpacker only.

#include "tools/unrar/crc32.h"
#include "tools/unrar/layout.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace rar_headers {

constexpr uint8_t kRar5Signature[8] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x01, 0x00};
constexpr uint8_t kRar4Signature[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};

inline uint32_t Crc(const uint8_t* data, size_t n) { return Crc32Update(0, data, n); }
inline uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t Le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
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
    [[noreturn]] void Refuse(const std::string& reason) const { throw UnrarError(path_, reason, UnrarCause::Refused); }

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
    std::string name;
    bool link = false;
    bool encrypted = false;
    bool continuesFromPrevious = false;
    bool continuesInNext = false;
};

// Collects the entries from the volumes' pieces, and refuses what cannot be
// extracted safely and whole.
class Walker {
public:
    ArchiveLayout layout;

    void Add(const Volume& v, Piece piece, bool firstFileOfVolume);
    bool InsideFile() const { return pending_.has_value(); }
    void Finish(const Volume& last);

private:
    std::optional<Piece> pending_;
};

// Each reads one volume's headers into `walker` and returns whether another
// volume follows; `index` is the volume's place in its set (0 = the first).
bool ReadRar5Volume(const Volume& v, int index, Walker& walker);
bool ReadRar4Volume(const Volume& v, int index, Walker& walker);

}  // namespace rar_headers
