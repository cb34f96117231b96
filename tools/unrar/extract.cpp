#include "tools/unrar/extract.h"

#include "tools/unrar/crc32.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {
constexpr size_t kBlockSize = 1 << 20;

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { Reset(); }
    Fd(Fd&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
    Fd& operator=(Fd&& o) noexcept
    {
        if (this != &o) {
            Reset();
            fd_ = o.fd_;
            o.fd_ = -1;
        }
        return *this;
    }
    int get() const { return fd_; }
    void Reset()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

// What a failed write says of the disk: its cause, and so the exit status.
UnrarCause CauseOf(int err, int dir, bool creating)
{
    switch (err) {
    case EROFS: return UnrarCause::ReadOnly;
    case ENAMETOOLONG: return UnrarCause::NameTooLong;
    case EMLINK: return UnrarCause::NoMoreFiles;
    case ENOSPC:
    case EDQUOT: {
        // A file that cannot be made where blocks are left: no inode is.
        struct statvfs vfs {};
        bool noInodes = creating && ::fstatvfs(dir, &vfs) == 0 && vfs.f_files > 0 && vfs.f_favail == 0;
        return noInodes ? UnrarCause::NoMoreFiles : UnrarCause::DiskFull;
    }
    default: return UnrarCause::CannotWrite;
    }
}

[[noreturn]] void FailWrite(const std::string& where, const std::string& what, int dir, bool creating)
{
    int err = errno;
    throw UnrarError(where, what + ": " + std::strerror(err), CauseOf(err, dir, creating));
}

std::vector<std::string> Components(const std::string& path)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start < path.size()) {
        size_t stop = path.find_first_of("/\\", start);
        if (stop == std::string::npos)
            stop = path.size();
        std::string part = path.substr(start, stop - start);
        if (!part.empty() && part != ".")
            out.push_back(part);
        start = stop + 1;
    }
    return out;
}

// The names a signal handler removes, so that a stopped unpacker leaves no
// temporary file (nor a claim on a final name) behind. Each is written in
// full into the slot not in use, then made the one in use by a single store.
struct Pending {
    struct Slot {
        int dir = -1;
        char name[256] = {};
    } slots[2];
    volatile sig_atomic_t active = -1;

    void Set(int dir, const char* name)
    {
        int next = active == 0 ? 1 : 0;
        slots[next].dir = dir;
        std::snprintf(slots[next].name, sizeof slots[next].name, "%s", name);
        active = next;
    }
    void Clear() { active = -1; }
    void Remove() const
    {
        if (int i = active; i >= 0)
            ::unlinkat(slots[i].dir, slots[i].name, 0);
    }
};
Pending g_temp, g_claim;

void RemovePendingAndDie(int signal)
{
    g_temp.Remove();
    g_claim.Remove();
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// Signals held meanwhile: a claim is a final name, which the handler may
// remove only once it is surely the unpacker's own.
class SignalsHeld {
public:
    SignalsHeld()
    {
        sigset_t stops;
        sigemptyset(&stops);
        for (int signal : {SIGTERM, SIGINT, SIGHUP})
            sigaddset(&stops, signal);
        ::sigprocmask(SIG_BLOCK, &stops, &saved_);
    }
    ~SignalsHeld() { ::sigprocmask(SIG_SETMASK, &saved_, nullptr); }

private:
    sigset_t saved_;
};

// A temporary file beside its final place; removed unless handed over.
class TempFile {
public:
    TempFile(int dir, const std::string& where) : dir_(dir)
    {
        // Seeded once: a random device for each file cost more than writing it.
        static std::mt19937_64 random{std::random_device{}()};
        for (int attempt = 0; attempt < 100 && fd_.get() < 0; ++attempt) {
            char name[40];
            std::snprintf(name, sizeof name, ".unrar-%016llx.part", static_cast<unsigned long long>(random()));
            g_temp.Set(dir, name);  // before it exists: a signal may come as it is made
            fd_ = Fd(::openat(dir, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
            if (fd_.get() >= 0)
                name_ = name;
            else
                g_temp.Clear();
            if (fd_.get() < 0 && errno != EEXIST)
                break;
        }
        if (fd_.get() < 0)
            FailWrite(where, "cannot create a file", dir, true);
    }
    ~TempFile()
    {
        if (!name_.empty())
            ::unlinkat(dir_, name_.c_str(), 0);
        g_temp.Clear();
    }
    int fd() const { return fd_.get(); }
    // Moves the file to `name` unless something is there (false if it was),
    // or over what is there when `replace`.
    bool Place(const std::string& name, const std::string& where, bool replace = false)
    {
        fd_.Reset();
        int rc = replace ? ::renameat(dir_, name_.c_str(), dir_, name.c_str())
                         : ::renameat2(dir_, name_.c_str(), dir_, name.c_str(), RENAME_NOREPLACE);
        if (rc != 0 && !replace && (errno == EINVAL || errno == ENOSYS)) {
            // Without no-replace renames: a new hard link never replaces either.
            rc = ::linkat(dir_, name_.c_str(), dir_, name.c_str(), 0);
            if (rc == 0)
                ::unlinkat(dir_, name_.c_str(), 0);
            else if (errno == EPERM || errno == ENOTSUP || errno == EOPNOTSUPP)
                rc = PlaceOverClaim(name);
        }
        if (rc == 0) {
            name_.clear();
            g_temp.Clear();
            return true;
        }
        if (errno == EEXIST)
            return false;
        FailWrite(where, "cannot move into place", dir_, true);
    }

private:
    // Disks without hard links (exFAT, FAT, some network shares): the final
    // name is claimed with O_EXCL, which never takes an existing file, and
    // the whole file is renamed over the claim.
    int PlaceOverClaim(const std::string& name)
    {
        SignalsHeld held;
        int claim = ::openat(dir_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (claim < 0)
            return -1;
        ::close(claim);
        g_claim.Set(dir_, name.c_str());
        int rc = ::renameat(dir_, name_.c_str(), dir_, name.c_str());
        int err = errno;
        if (rc != 0)
            ::unlinkat(dir_, name.c_str(), 0);
        g_claim.Clear();
        errno = err;
        return rc;
    }

    int dir_;
    Fd fd_;
    std::string name_;
};

class Extractor {
public:
    Extractor(const ArchiveLayout& layout, const std::string& destination, ExistingFiles existing)
        : layout_(layout), existing_(existing)
    {
        if (::mkdir(destination.c_str(), 0755) != 0 && errno != EEXIST)
            FailWrite(destination, "cannot create the destination", AT_FDCWD, true);
        root_ = Fd(::open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (root_.get() < 0)
            FailWrite(destination, "cannot open the destination", AT_FDCWD, false);
    }
    ~Extractor() { Close(); }

    void Run()
    {
        // libarchive's RAR 4 reader stops at a volume's end where no file runs
        // on: such a set is read as runs of volumes that each start afresh.
        size_t index = 0;
        size_t first = 0;
        for (size_t v = 0; v < layout_.volumes.size(); ++v) {
            bool runEnds = v + 1 == layout_.volumes.size() || (layout_.format == 4 && !layout_.endsInsideFile[v]);
            if (!runEnds)
                continue;
            Open(first, v + 1);
            for (;;) {
                archive_entry* entry = nullptr;
                int r = archive_read_next_header(archive_, &entry);
                if (r == ARCHIVE_EOF)
                    break;
                if (r < ARCHIVE_WARN)
                    Fail(ArchiveText());
                if (index >= layout_.entries.size())
                    Fail("more entries than the archive's headers list");
                ExtractEntry(entry, layout_.entries[index++]);
            }
            Close();
            first = v + 1;
        }
        if (index != layout_.entries.size())
            Fail("the archive ended after " + std::to_string(index) + " of " + std::to_string(layout_.entries.size()) +
                 " entries");
    }

private:
    void Open(size_t from, size_t to)
    {
        archive_ = archive_read_new();
        archive_read_support_format_rar(archive_);
        archive_read_support_format_rar5(archive_);
        std::vector<const char*> names;
        for (size_t v = from; v < to; ++v)
            names.push_back(layout_.volumes[v].c_str());
        names.push_back(nullptr);
        if (archive_read_open_filenames(archive_, names.data(), kBlockSize) != ARCHIVE_OK)
            Fail(ArchiveText());
    }
    void Close()
    {
        if (archive_)
            archive_read_free(archive_);
        archive_ = nullptr;
    }
    [[noreturn]] void Fail(const std::string& reason) const { throw UnrarError(layout_.volumes.front(), reason); }
    [[noreturn]] void Refuse(const std::string& reason) const
    {
        throw UnrarError(layout_.volumes.front(), reason, UnrarCause::Refused);
    }
    std::string Where(const std::string& name) const { return layout_.volumes.front() + ": " + name; }
    std::string ArchiveText() const
    {
        const char* text = archive_error_string(archive_);
        return text ? text : "unreadable archive";
    }

    // Opens (creating) each folder of the first `count` of `parts` below the
    // destination, never following a link, so nothing lands outside it. The
    // last one opened is kept: an archive's files come folder by folder.
    int OpenFolder(const std::vector<std::string>& parts, size_t count, const std::string& name)
    {
        if (count == 0)
            return root_.get();
        if (folder_.get() >= 0 && folderParts_.size() == count && std::equal(parts.begin(), parts.begin() + long(count), folderParts_.begin()))
            return folder_.get();
        Fd dir;
        for (size_t i = 0; i < count; ++i) {
            int at = i == 0 ? root_.get() : dir.get();
            if (::mkdirat(at, parts[i].c_str(), 0755) != 0 && errno != EEXIST)
                FailWrite(Where(name), "cannot create a folder", at, true);
            Fd next(::openat(at, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (next.get() < 0)
                FailWrite(Where(name), "\"" + parts[i] + "\" is no folder", at, false);
            dir = std::move(next);
        }
        folder_ = std::move(dir);
        folderParts_.assign(parts.begin(), parts.begin() + long(count));
        return folder_.get();
    }

    void ExtractEntry(archive_entry* entry, const ArchiveEntry& expected)
    {
        // The name as the headers give it, in UTF-8 whatever code page it was
        // stored in: the name every check before the unpacking saw.
        const std::string name = layout_.Name(expected);
        if (!IsSafeRelativePath(name))
            Refuse("unsafe path refused: " + name);
        if (archive_entry_is_encrypted(entry))
            Refuse("encrypted entry refused: " + name);
        mode_t type = archive_entry_filetype(entry);
        if (type == AE_IFLNK || archive_entry_hardlink(entry))
            Refuse("link entry refused: " + name);
        std::vector<std::string> parts = Components(name);
        if (parts.empty())
            Fail("empty entry name");
        if (type == AE_IFDIR || expected.directory) {
            OpenFolder(parts, parts.size(), name);
            return;
        }
        if (type != AE_IFREG)
            Refuse("unsupported entry refused: " + name);

        if (expected.olderVersion) {
            Skip(name);
            return;
        }
        int dir = OpenFolder(parts, parts.size() - 1, name);
        const std::string& base = parts.back();
        struct stat st {};
        const bool there = ::fstatat(dir, base.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
        // Kept: any file under -o-, the entry's own file (size and CRC) under
        // -o+; a file that differs is then written again.
        if (there && (existing_ == ExistingFiles::Keep || FileMatchesEntry(dir, base.c_str(), expected))) {
            Skip(name);
            return;
        }
        if (there && !S_ISREG(st.st_mode))
            throw UnrarError(Where(name), "something other than a file is in its place", UnrarCause::CannotWrite);
        TempFile temp(dir, Where(name));
        uint64_t written = 0;
        uint32_t crc = 0;
        for (;;) {
            const void* block = nullptr;
            size_t size = 0;
            la_int64_t offset = 0;
            int r = archive_read_data_block(archive_, &block, &size, &offset);
            if (r == ARCHIVE_EOF)
                break;
            if (r < ARCHIVE_WARN)
                Fail(name + ": " + ArchiveText());
            if (uint64_t(offset) < written)
                Fail(name + ": data out of order");
            static const std::vector<char> zeros(kBlockSize);
            while (written < uint64_t(offset)) {
                size_t n = size_t(std::min<uint64_t>(zeros.size(), uint64_t(offset) - written));
                Write(temp.fd(), zeros.data(), n, name);
                crc = Crc32Update(crc, zeros.data(), n);
                written += n;
            }
            Write(temp.fd(), block, size, name);
            crc = Crc32Update(crc, block, size);
            written += size;
        }
        if (written != expected.size)
            Fail(name + ": " + std::to_string(written) + " bytes where " + std::to_string(expected.size) +
                 " were expected");
        if (expected.hasCrc && crc != expected.crc)
            Fail(name + ": CRC mismatch, the data is damaged");
        mode_t mode = archive_entry_perm(entry) & 0777;
        ::fchmod(temp.fd(), mode ? mode : 0644);
        if (archive_entry_mtime_is_set(entry)) {
            timespec times[2] = {{0, UTIME_OMIT}, {archive_entry_mtime(entry), archive_entry_mtime_nsec(entry)}};
            ::futimens(temp.fd(), times);
        }
        temp.Place(base, Where(name), there);
    }

    void Skip(const std::string& name)
    {
        if (archive_read_data_skip(archive_) < ARCHIVE_WARN)
            Fail(name + ": " + ArchiveText());
    }

    void Write(int fd, const void* data, size_t size, const std::string& name)
    {
        auto* p = static_cast<const char*>(data);
        while (size > 0) {
            ssize_t n = ::write(fd, p, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                FailWrite(Where(name), "cannot write", fd, false);
            p += n;
            size -= size_t(n);
        }
    }

    const ArchiveLayout& layout_;
    const ExistingFiles existing_;
    Fd root_;
    Fd folder_;  // the folder of the last file, and its path below the destination
    std::vector<std::string> folderParts_;
    archive* archive_ = nullptr;
};
}  // namespace

void RemoveTemporariesOnStop()
{
    struct sigaction action {};
    action.sa_handler = RemovePendingAndDie;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
}

void ExtractArchive(const ArchiveLayout& layout, const std::string& destination, ExistingFiles existing)
{
    Extractor extractor(layout, destination, existing);
    extractor.Run();
}
