#include "net/transfer.h"

#include "net/http_requests.h"

#include <algorithm>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>

namespace {
// What the server called the version of a file whose start it sent (its
// ETag or Last-Modified), kept with the partial file: a resume asks for the
// rest of that version only (If-Range), across runs too.
const char* const kValidatorNote = "kestrow.validator";

// The file as the client writes it. A partial answer starts where it was
// asked to (the client refuses any other); a whole one (200) replaces the file.
class ResumeTarget : public TStream {
public:
    ResumeTarget(TFileStream* file, TIdHTTP* client, int64_t start) : file_(file), client_(client), start_(start) {}

    int64_t Write(const void* buffer, int64_t count) override
    {
        if (first_) {
            first_ = false;
            bool whole = start_ == 0 || client_->ResponseCode() != 206;
            if (start_ > 0 && whole) {
                file_->Truncate(0);
                file_->Seek(0, soBeginning);
            }
            if (whole)
                file_->SetNote(kValidatorNote, client_->Validator());
        }
        return file_->Write(buffer, count);
    }
    int64_t Read(void* buffer, int64_t count) override { return file_->Read(buffer, count); }
    int64_t Seek(int64_t offset, int origin) override { return file_->Seek(offset, origin); }

private:
    TFileStream* file_;
    TIdHTTP* client_;
    int64_t start_;
    bool first_ = true;
};

// The size the client holds every answer to, for one transfer.
struct ExpectedSize {
    TIdHTTP* client;
    ExpectedSize(TIdHTTP* c, int64_t size) : client(c) { client->ExpectedLength = size > 0 ? size : -1; }
    ~ExpectedSize()
    {
        client->ExpectedLength = -1;
        // The range never outlives its request: later requests ask from byte 0.
        client->Request.Range = "0";
        client->Request.IfRange.clear();
    }
};
}  // namespace

int idHTTP_ReadWriteFile(TIdHTTP* client, const AnsiString& url, const AnsiString& path, int64_t limit)
{
    std::unique_ptr<TFileStream> file;
    try {
        file = std::make_unique<TFileStream>(path, fmCreate);
    } catch (const EInOutError&) {
        return kCannotCreateFile;
    }
    // The whole body, whatever range an earlier transfer left on the client.
    client->Request.Range.clear();
    return idHTTP_Get_FileStream(client, url, file.get(), limit);
}

int idHTTP_ReadWriteFileResumingFun(TIdHTTP* client, const AnsiString& url, const AnsiString& path, int64_t& size,
                                     void (*progress)(int64_t), int folder)
{
    // A stated size of 0 is no size: a file of 0 bytes is never an order's.
    if (size < 0)
        size = 0;
    int64_t start = 0;
    std::unique_ptr<TFileStream> file;
    struct stat there {};
    if (fstatat(folder, path.c_str(), &there, 0) == 0 && S_ISREG(there.st_mode)) {
        if (size == 0) {
            client->Request.Range.clear();
            // Without the remote size a partial file would pass for complete.
            if (int r = idHTTP_FileSize(client, url, size); r != 0)
                return r;
            size = std::max<int64_t>(size, 0);
        }
        try {
            file = std::make_unique<TFileStream>(folder, path, fmOpenReadWrite);
        } catch (const EInOutError&) {
            return kCannotOpenFile;
        }
        int64_t local = file->Size();
        if (size > 0 && local == size) {
            progress(local);
            return 1;
        }
        // Longer than the server says it is: not this file, or not any more.
        if (size > 0 && local > size) {
            file->Truncate(0);
            local = 0;
        }
        progress(local);
        start = file->Seek(0, TStream::soEnd);
    } else {
        try {
            file = std::make_unique<TFileStream>(folder, path, fmCreate);
        } catch (const EInOutError&) {
            return kCannotOpenFile;
        }
    }

    int r = 0;
    for (int attempt = 0;; ++attempt) {
        // An unknown size is resumed too: the answer's Content-Range states it.
        client->Request.Range = start > 0 ? IntToStr(start) : AnsiString();
        client->Request.IfRange = start > 0 ? file->Note(kValidatorNote) : AnsiString();
        ResumeTarget target(file.get(), client, start);
        // A file whose size no answer states is asked from its length: a 416
        // that names that length as the whole says it is complete.
        const bool sizeUnknown = size == 0 && start > 0;
        {
            ExpectedSize expected(client, size);
            r = idHTTP_Get_FileStream(client, url, &target, 0, sizeUnknown ? 416 : 0);
        }
        if (r != -416 || !sizeUnknown)
            break;
        const int64_t whole = client->EntityLength();
        if (whole == start) {
            size = start;
            return 1;
        }
        // The server's file is shorter than the one here: another version, started over.
        if (whole < 0 || whole > start || attempt > 0)
            return idHTTP_ShowReturnCode(client, "Get_FileStream Error: " + url);
        file->Truncate(0);
        file->Seek(0, TStream::soBeginning);
        progress(-start);
        start = 0;
    }
    if (r != 0)
        return r;
    // A 200 to a resume (another version, or a server without ranges) started the file over.
    if (client->ResponseCode() != 206 && start > 0) {
        progress(-start);
        start = 0;
    }
    int64_t stated = client->EntityLength();
    int64_t expected = size > 0 ? size : stated;
    int64_t length = file->Size();
    if (expected >= 0 && length != expected)
        return kSizeMismatch;
    progress(length - start);
    size = length;
    return 0;
}
