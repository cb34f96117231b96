#include "net/transfer.h"

#include "net/http_requests.h"

#include <fcntl.h>
#include <memory>
#include <sys/stat.h>

namespace {
// The file as the client writes it. A partial answer starts where it was
// asked to (the client refuses any other); a whole one (200) replaces the file.
class ResumeTarget : public TStream {
public:
    ResumeTarget(TFileStream* file, TIdHTTP* client, int64_t start) : file_(file), client_(client), start_(start) {}

    int64_t Write(const void* buffer, int64_t count) override
    {
        if (first_) {
            first_ = false;
            if (start_ > 0 && client_->ResponseCode() != 206) {
                file_->Truncate(0);
                file_->Seek(0, soBeginning);
            }
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
    int64_t start = 0;
    std::unique_ptr<TFileStream> file;
    struct stat there {};
    if (fstatat(folder, path.c_str(), &there, 0) == 0 && S_ISREG(there.st_mode)) {
        if (size == 0) {
            client->Request.Range.clear();
            // Without the remote size a partial file would pass for complete.
            if (int r = idHTTP_FileSize(client, url, size); r != 0)
                return r;
        }
        try {
            file = std::make_unique<TFileStream>(folder, path, fmOpenReadWrite);
        } catch (const EInOutError&) {
            return kCannotOpenFile;
        }
        int64_t local = file->Size();
        if (local == size) {
            progress(local);
            return 1;
        }
        // Longer than the server says it is: not this file, or not any more.
        if (size >= 0 && local > size) {
            file->Truncate(0);
            local = 0;
        }
        progress(local);
        start = file->Seek(0, TStream::soEnd);
        // An unknown size is resumed too: the answer's Content-Range states it.
        client->Request.Range = start > 0 ? IntToStr(start) : AnsiString();
    } else {
        try {
            file = std::make_unique<TFileStream>(folder, path, fmCreate);
        } catch (const EInOutError&) {
            return kCannotOpenFile;
        }
        client->Request.Range.clear();
    }

    ResumeTarget target(file.get(), client, start);
    // A file whose size no answer states is asked from its length: a 416 that
    // names that length as the whole says it is complete.
    const bool sizeUnknown = size <= 0 && start > 0;
    int r;
    {
        ExpectedSize expected(client, size);
        r = idHTTP_Get_FileStream(client, url, &target, 0, sizeUnknown ? 416 : 0);
    }
    if (r == -416 && sizeUnknown) {
        if (client->EntityLength() == start) {
            size = start;
            return 1;
        }
        return idHTTP_ShowReturnCode(client, "Get_FileStream Error: " + url);
    }
    if (r != 0)
        return r;
    int64_t stated = client->EntityLength();
    int64_t expected = size > 0 ? size : stated;
    int64_t length = file->Size();
    if (expected >= 0 && length != expected)
        return kSizeMismatch;
    progress(length - start);
    size = length;
    return 0;
}
