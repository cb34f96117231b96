#include "platform/rtl.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

#include <algorithm>

// ---- paths and files -------------------------------------------------------

String GetModuleName()
{
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return String();
    return String(buf, size_t(n));
}

String ExtractFilePath(const String& path)
{
    auto p = path.rfind('/');
    return p == String::npos ? String() : path.substr(0, p + 1);
}

String ExtractFileName(const String& path)
{
    auto p = path.rfind('/');
    return p == String::npos ? path : path.substr(p + 1);
}

bool FileExists(const String& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DeleteFile(const String& path) { return unlink(path.c_str()) == 0; }

bool CreateDir(const String& path) { return mkdir(path.c_str(), 0777) == 0; }

int64_t FileAge(const String& path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return -1;
    return int64_t(st.st_mtime);
}

namespace {
// A name in a shared folder that anyone can predict is a name anyone can
// plant a link at: every temporary file lives in a folder of this run's own.
// Removed as the program ends, also where it ends at once (quick_exit: a
// lost display, where the toolkit cannot be taken down in order).
struct RunFolder {
    String path;
    RunFolder()
    {
        at_quick_exit([] { Remove(); });
    }
    ~RunFolder() { Remove(); }
    static void Remove();
};

RunFolder g_runFolder;

void RunFolder::Remove()
{
    std::error_code ignored;
    if (!g_runFolder.path.empty())
        std::filesystem::remove_all(g_runFolder.path.substr(0, g_runFolder.path.size() - 1), ignored);
    g_runFolder.path.clear();
}
}  // namespace

String TPath::GetTempPath()
{
    RunFolder& folder = g_runFolder;
    if (folder.path.empty()) {
        const char* env = std::getenv("TMPDIR");
        String pattern = (env && *env) ? env : "/tmp";
        if (pattern.back() != DirectorySeparatorChar)
            pattern += DirectorySeparatorChar;
        // The run's pid in its name: a later run tells a dead run's folder.
        pattern += "kestrow-" + std::to_string(getpid()) + "-XXXXXX";
        if (!mkdtemp(pattern.data()))
            throw EInOutError("Cannot make a private temporary folder \"" + pattern + "\". " + std::strerror(errno),
                              errno);
        folder.path = pattern + DirectorySeparatorChar;
    }
    return folder.path;
}

bool MakerStillRunning(int pid, const struct timespec& changed)
{
    FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
    if (!f)
        return false;
    char line[1024] = {};
    bool read = std::fgets(line, sizeof line, f) != nullptr;
    std::fclose(f);
    // The start time is field 22, after the command's name in parentheses.
    const char* at = read ? std::strrchr(line, ')') : nullptr;
    for (int field = 2; at && *at && field < 22; ++field)
        at = std::strchr(at + 1, ' ');
    if (!at)
        return true;  // unreadable: taken as running, so nothing of it goes
    double started = double(std::strtoull(at + 1, nullptr, 10)) / double(sysconf(_SC_CLK_TCK));
    timespec now {}, boot {};
    clock_gettime(CLOCK_REALTIME, &now);
    clock_gettime(CLOCK_BOOTTIME, &boot);
    double bootedAt = double(now.tv_sec - boot.tv_sec) + double(now.tv_nsec - boot.tv_nsec) / 1e9;
    return bootedAt + started <= double(changed.tv_sec) + double(changed.tv_nsec) / 1e9 + 0.02;
}

void TPath::RemoveFoldersOfEndedRuns()
{
    const char* env = std::getenv("TMPDIR");
    String parent = (env && *env) ? env : "/tmp";
    DIR* dir = opendir(parent.c_str());
    if (!dir)
        return;
    while (dirent* e = readdir(dir)) {
        // kestrow-PID-XXXXXX, this user's own, private.
        const String name = e->d_name;
        char* end = nullptr;
        long pid = name.rfind("kestrow-", 0) == 0 ? std::strtol(name.c_str() + 8, &end, 10) : 0;
        struct stat st {};
        String path = parent + "/" + name;
        if (pid <= 0 || !end || *end != '-' || std::strlen(end) != 7 || lstat(path.c_str(), &st) != 0 ||
            !S_ISDIR(st.st_mode) || st.st_uid != getuid() || (st.st_mode & 0777) != 0700 ||
            MakerStillRunning(int(pid), st.st_ctim))
            continue;
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    closedir(dir);
}

String TPath::Combine(const String& a, const String& b)
{
    if (a.empty())
        return b;
    if (a.back() == DirectorySeparatorChar)
        return a + b;
    return a + DirectorySeparatorChar + b;
}

String TFile::ReadAllText(const String& path)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        throw EInOutError("Cannot open file \"" + path + "\". " + std::strerror(errno), errno);
    String text;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        text.append(buf, n);
    std::fclose(f);
    return text;
}

namespace {
enum class EntryKind { Directory, File, Any };

std::vector<String> ListDirectory(const String& path, EntryKind kind)
{
    std::vector<String> out;
    DIR* d = opendir(path.c_str());
    if (!d)
        return out;
    while (dirent* e = readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
            continue;
        String full = TPath::Combine(path, e->d_name);
        struct stat st {};
        bool isDir = stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        if (kind == EntryKind::Any || (kind == EntryKind::Directory) == isDir)
            out.push_back(full);
    }
    closedir(d);
    std::sort(out.begin(), out.end());
    return out;
}
}  // namespace

bool FileIsRegular(const String& path)
{
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool TDirectory::Exists(const String& path, bool followLink)
{
    struct stat st {};
    int rc = followLink ? stat(path.c_str(), &st) : lstat(path.c_str(), &st);
    return rc == 0 && S_ISDIR(st.st_mode);
}

std::vector<String> TDirectory::GetDirectories(const String& path)
{
    return ListDirectory(path, EntryKind::Directory);
}

std::vector<String> TDirectory::GetFiles(const String& path)
{
    return ListDirectory(path, EntryKind::File);
}

bool TDirectory::IsEmpty(const String& path) { return ListDirectory(path, EntryKind::Any).empty(); }

// ---- streams ---------------------------------------------------------------

int64_t TStream::Size()
{
    int64_t here = Seek(0, soCurrent);
    int64_t end = Seek(0, soEnd);
    Seek(here, soBeginning);
    return end;
}

TFileStream::TFileStream(const String& path, int mode) : TFileStream(AT_FDCWD, path, mode) {}

TFileStream::TFileStream(int folder, const String& path, int mode) : path_(path)
{
    int flags = mode == fmCreate ? O_RDWR | O_CREAT
                : (mode & 3) == fmOpenReadWrite ? O_RDWR
                : (mode & 3) == fmOpenWrite ? O_WRONLY
                                            : O_RDONLY;
    // Non-blocking until it is known to be a regular file: a FIFO would
    // otherwise hold the open until someone reads it.
    fd_ = ::openat(folder, path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    struct stat st {};
    int err = fd_ < 0 ? errno : fstat(fd_, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : EINVAL;
    // An empty file is left alone: ext4 takes truncating to zero as "the file
    // is being replaced" and starts writing it back at close, which held
    // every downloaded file's close for tens of milliseconds.
    if (err == 0 && mode == fmCreate && st.st_size > 0 && ftruncate(fd_, 0) != 0)
        err = errno;
    if (err == 0 && fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) & ~O_NONBLOCK) != 0)
        err = errno;
    if (err == 0)
        return;
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    String why = err == ELOOP ? "It is a link." : err == EINVAL ? "It is not a regular file." : std::strerror(err);
    if (mode == fmCreate)
        throw EFCreateError("Cannot create file \"" + path + "\". " + why, err);
    throw EFOpenError("Cannot open file \"" + path + "\". " + why, err);
}

String TFileStream::Note(const char* name) const
{
    char value[1024];
    ssize_t n = fgetxattr(fd_, (String("user.") + name).c_str(), value, sizeof value);
    return n > 0 ? String(value, size_t(n)) : String();
}

bool TFileStream::SetNote(const char* name, const String& value)
{
    const String key = String("user.") + name;
    if (value.empty())
        return fremovexattr(fd_, key.c_str()) == 0 || errno == ENODATA;
    return fsetxattr(fd_, key.c_str(), value.data(), value.size(), 0) == 0;
}

TFileStream::~TFileStream()
{
    if (fd_ >= 0)
        ::close(fd_);
}

int64_t TFileStream::Read(void* buffer, int64_t count)
{
    ssize_t n = ::read(fd_, buffer, size_t(count));
    return n < 0 ? 0 : n;
}

int64_t TFileStream::Write(const void* buffer, int64_t count)
{
    auto* p = static_cast<const char*>(buffer);
    int64_t left = count;
    while (left > 0) {
        ssize_t n = ::write(fd_, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw EWriteError("Stream write error on \"" + path_ + "\". " + std::strerror(errno), errno);
        p += n;
        left -= n;
    }
    return count;
}

int64_t TFileStream::Seek(int64_t offset, int origin)
{
    int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
    off_t r = ::lseek(fd_, off_t(offset), whence);
    return r < 0 ? -1 : int64_t(r);
}

void TFileStream::Truncate(int64_t size)
{
    if (::ftruncate(fd_, off_t(size)) != 0)
        throw EWriteError("Cannot truncate \"" + path_ + "\". " + std::strerror(errno), errno);
}

int64_t TMemoryStream::Read(void* buffer, int64_t count)
{
    int64_t n = std::max<int64_t>(0, std::min<int64_t>(count, int64_t(data_.size()) - pos_));
    if (n > 0)
        std::memcpy(buffer, data_.data() + pos_, size_t(n));
    pos_ += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count)
{
    if (pos_ + count > int64_t(data_.size()))
        data_.resize(size_t(pos_ + count));
    std::memcpy(data_.data() + pos_, buffer, size_t(count));
    pos_ += count;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, int origin)
{
    int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? pos_ : int64_t(data_.size());
    pos_ = std::max<int64_t>(0, base + offset);
    return pos_;
}

void TMemoryStream::Clear()
{
    data_.clear();
    pos_ = 0;
}

void TMemoryStream::LoadFromFile(const String& path)
{
    String text = TFile::ReadAllText(path);
    data_.assign(text.begin(), text.end());
    pos_ = 0;
}

// ---- conversions -----------------------------------------------------------

String IntToStr(int64_t value) { return std::to_string(value); }

int StrToInt(const String& text)
{
    auto fail = [&]() -> int { throw EConvertError("'" + text + "' is not a valid integer value"); };
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i == text.size())
        return fail();
    int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return fail();
        v = v * 10 + (text[i] - '0');
        if (v > int64_t(INT_MAX) + 1)
            return fail();
    }
    v = negative ? -v : v;
    if (v > INT_MAX || v < INT_MIN)
        return fail();
    return int(v);
}

char DecimalSeparator()
{
    QString dp = QLocale::system().decimalPoint();
    return dp.size() == 1 && dp[0].unicode() < 128 ? char(dp[0].unicode()) : '.';
}

String FloatToStrF(double value, TFloatFormat format, int precision, int digits)
{
    char buf[64];
    double magnitude = std::fabs(value);
    bool tooWide = magnitude >= 1 && std::floor(std::log10(magnitude)) + 1 > precision;
    if (format == TFloatFormat::ffFixed && !tooWide)
        std::snprintf(buf, sizeof buf, "%.*f", digits, value);
    else
        std::snprintf(buf, sizeof buf, "%.*E", std::max(0, precision - 1), value);
    String s = buf;
    std::replace(s.begin(), s.end(), '.', DecimalSeparator());
    return s;
}

TDateTime FileDateToDateTime(int64_t fileAge) { return TDateTime{fileAge}; }

String DateToStr(TDateTime t)
{
    QDate d = QDateTime::fromSecsSinceEpoch(t.unixSeconds).date();
    return QLocale::system().toString(d, QLocale::ShortFormat).toStdString();
}

String TimeToStr(TDateTime t)
{
    QTime tm = QDateTime::fromSecsSinceEpoch(t.unixSeconds).time();
    return QLocale::system().toString(tm, QLocale::LongFormat).toStdString();
}

void Sleep(unsigned milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

String FoldedFileName(const String& name)
{
    return QString::fromUtf8(name.data(), qsizetype(name.size()))
        .normalized(QString::NormalizationForm_C)
        .toCaseFolded()
        .toStdString();
}
