#pragma once
// A local stand-in for the vendor's download API: HTTPS on 127.0.0.1 at a
// port chosen at run time. It serves orders (the manifest under
// /1/get/<code>, the notifications /1/next/<code> and /1/done/<code>), the
// base URL itself (which sets a cookie) and files under /files/<name> with
// HEAD, GET and "Range: bytes=N-" (with If-Range against each file's ETag,
// which changes when the file is replaced). Faults can be scripted per
// request and attempt, and every request is logged for the tests to look at.

#include "tools/localapi/certificates.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class SSLServer;
struct Request;
struct Response;
}  // namespace httplib

struct Fault {
    int status = 0;               // answer this status instead
    int64_t cutAfter = -1;        // drop the connection after this many body bytes
    int64_t bytesPerSecond = 0;   // send the body this slowly
    int stallMs = 0;              // wait this long before the body
    int64_t stallAt = 0;          // ... once this many body bytes are out
    bool ignoreRange = false;     // answer 200 with the whole file to a range
    int64_t rangeShift = 0;       // answer 206 from the asked offset plus this
    bool noLength = false;        // state no length: HEAD without it, GET's body ended by closing
    int64_t statedLength = -1;    // the file is this long: a HEAD states it, a GET sends the file cut or padded to it
    bool endless = false;         // a body without a length that never ends
    std::string encoding = {};    // a Content-Encoding to name
    size_t headerBytes = 0;       // one header line this long
    std::string body = {};        // the body of a `status` answer, instead of a small page
    std::string retryAfter = {};  // a Retry-After to send with it
    int64_t headLength = -1;      // a HEAD states this length (the GET is the file's own)
};

struct LoggedRequest {
    std::string method, path, range, cookie, userAgent, accept, source, ifRange;
    int sourcePort = 0;  // the same port: the same connection
    int64_t bodySent = 0;  // body bytes handed to the connection
};

class LocalApi {
public:
    explicit LocalApi(CertificateFiles certificates);
    ~LocalApi();

    void Start(int port = 0);  // 0: any free port
    void Stop();
    int Port() const { return port_; }
    std::string BaseUrl() const;                        // https://127.0.0.1:<port>
    std::string FileUrl(const std::string& name) const;  // <base>/files/<name>, the name percent-encoded

    void AddOrder(const std::string& code, const std::string& manifest);
    void AddFile(const std::string& name, std::string content);
    void AddFileFromDisk(const std::string& name, const std::string& path);
    // `request` is "METHOD /path"; attempt counts from 1, 0 means every one.
    void AddFault(const std::string& request, Fault fault, int attempt = 0);
    void ClearFaults();
    // Answers 403 to every other source address (for paths that start with
    // `paths` only, when given: an allow-list of the file host alone).
    void AllowOnlySource(const std::string& address, const std::string& paths = "");

    std::vector<LoggedRequest> Requests() const;
    void ClearRequests();  // the log, and the attempts that faults count

private:
    struct File {
        std::string content;
        std::string diskPath;
        int64_t size = 0;
        std::string etag;
    };
    void Serve(const httplib::Request& req, httplib::Response& res);
    void ServeFile(const httplib::Request& req, httplib::Response& res, const File& file, const Fault& fault,
                   std::shared_ptr<std::atomic<int64_t>> sent);
    Fault TakeFault(const std::string& key);

    CertificateFiles certificates_;
    std::unique_ptr<httplib::SSLServer> server_;
    std::thread thread_;
    int port_ = 0;

    mutable std::mutex mutex_;
    std::map<std::string, std::string> orders_;
    int versions_ = 0;  // every file added gets an ETag of its own
    std::map<std::string, std::shared_ptr<File>> files_;
    std::map<std::string, std::map<int, Fault>> faults_;
    std::map<std::string, int> attempts_;
    std::vector<LoggedRequest> log_;
    std::vector<std::shared_ptr<std::atomic<int64_t>>> sent_;  // per entry of log_
    std::string allowedSource_, allowedPaths_;
    std::shared_ptr<std::atomic<bool>> stopping_ = std::make_shared<std::atomic<bool>>(false);
};
