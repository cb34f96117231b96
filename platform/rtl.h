#pragma once
// Runtime library: paths and files, streams, number and date conversions.

#include "platform/system.h"

#include <cstdint>
#include <ctime>
#include <vector>

// ---- paths and files -------------------------------------------------------

String GetModuleName();                      // full path of the running executable
String ExtractFilePath(const String& path);  // folder part, ending in '/'
String ExtractFileName(const String& path);  // name part
bool FileExists(const String& path);         // a regular file (links followed)
bool FileIsRegular(const String& path);      // a regular file itself, not a link to one
bool DeleteFile(const String& path);
bool CreateDir(const String& path);          // the last level only
int64_t FileAge(const String& path);         // modification time, -1 when missing

class TPath {
public:
    static constexpr char DirectorySeparatorChar = '/';
    // This run's own folder under TMPDIR (or /tmp): made on first use with
    // mode 0700, removed with everything in it when the program ends. Ends
    // in the separator; raises EInOutError when it cannot be made.
    static String GetTempPath();
    // Removes such folders that runs which have ended left behind (killed,
    // or lost their display), never one of a run still going.
    static void RemoveFoldersOfEndedRuns();
    static String Combine(const String& a, const String& b);
};

class TFile {
public:
    static String ReadAllText(const String& path);  // raises EInOutError
};

class TDirectory {
public:
    static bool Exists(const String& path, bool followLink = true);
    // Top level only, full paths, hidden entries included, sorted by name.
    static std::vector<String> GetDirectories(const String& path);
    static std::vector<String> GetFiles(const String& path);
    static bool IsEmpty(const String& path);
};

// Whether the process `pid`, which made a file whose status last changed at
// `changed`, still runs: a process of that number started since is another.
bool MakerStillRunning(int pid, const struct timespec& changed);

// ---- streams ---------------------------------------------------------------

class TStream : public TObject {
public:
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    virtual int64_t Seek(int64_t offset, int origin) = 0;  // origin: SEEK_SET/CUR/END
    int64_t Position() { return Seek(0, 1); }
    void SetPosition(int64_t p) { Seek(p, 0); }
    int64_t Size();
    static constexpr int soBeginning = 0, soCurrent = 1, soEnd = 2;
};

class EFCreateError : public EInOutError {
public:
    using EInOutError::EInOutError;
};
class EFOpenError : public EInOutError {
public:
    using EInOutError::EInOutError;
};
class EWriteError : public EInOutError {
public:
    using EInOutError::EInOutError;
};

constexpr int fmCreate = 0xFF00;  // create or empty, read and write
constexpr int fmOpenRead = 0x0000;
constexpr int fmOpenWrite = 0x0001;
constexpr int fmOpenReadWrite = 0x0002;

// Opens regular files only, and never through a link: a link, FIFO, device
// or socket at `path` raises the error as a file that cannot be opened would.
class TFileStream : public TStream {
public:
    TFileStream(const String& path, int mode);  // raises EFCreateError / EFOpenError
    // `name` below the open folder `folder`, which may since have been moved.
    TFileStream(int folder, const String& name, int mode);
    ~TFileStream() override;
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;  // raises EWriteError
    int64_t Seek(int64_t offset, int origin) override;
    void Truncate(int64_t size);  // cut the file at size
    const String& FileName() const { return path_; }
    // A note kept with the file itself (an extended attribute), where its
    // disk keeps them: "" when there is none, false when it cannot be kept.
    String Note(const char* name) const;
    bool SetNote(const char* name, const String& value);

private:
    String path_;
    int fd_ = -1;
};

class TMemoryStream : public TStream {
public:
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, int origin) override;
    void Clear();
    const char* Memory() const { return data_.data(); }
    const std::vector<char>& Bytes() const { return data_; }
    void LoadFromFile(const String& path);

private:
    std::vector<char> data_;
    int64_t pos_ = 0;
};

// ---- conversions -----------------------------------------------------------

String IntToStr(int64_t value);
int StrToInt(const String& text);  // raises EConvertError

enum class TFloatFormat { ffGeneral, ffExponent, ffFixed };
// Fixed-point text with the user's decimal separator; exponent form when the
// integer part needs more than `precision` digits.
String FloatToStrF(double value, TFloatFormat format, int precision, int digits);
char DecimalSeparator();
// A UTF-8 name as a disk that ignores case and Unicode composition sees it
// (NFC, then case-folded): two names with one key are one file there.
String FoldedFileName(const String& name);

struct TDateTime {
    int64_t unixSeconds = 0;
};
TDateTime FileDateToDateTime(int64_t fileAge);
String DateToStr(TDateTime t);  // the user's short date format
String TimeToStr(TDateTime t);  // the user's long time format

void Sleep(unsigned milliseconds);
