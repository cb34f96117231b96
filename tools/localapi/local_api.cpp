#include "tools/localapi/local_api.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr size_t kChunk = 256 * 1024;

bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

// "bytes=N-" or "bytes=N-M": the first offset, or -1.
int64_t RangeStart(const std::string& header)
{
    if (!StartsWith(header, "bytes="))
        return -1;
    try {
        return std::stoll(header.substr(6));
    } catch (...) {
        return -1;
    }
}

std::string ReadWhole(const std::string& path)
{
    std::string out;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    char buffer[65536];
    ssize_t n;
    while (fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0)
        out.append(buffer, size_t(n));
    if (fd >= 0)
        ::close(fd);
    return out;
}
}  // namespace

LocalApi::LocalApi(CertificateFiles certificates) : certificates_(std::move(certificates)) {}

LocalApi::~LocalApi() { Stop(); }

void LocalApi::Start(int port)
{
    server_ = std::make_unique<httplib::SSLServer>(certificates_.certFile.c_str(), certificates_.keyFile.c_str());
    if (!server_->is_valid())
        throw std::runtime_error("local API: bad certificate files");
    // Without it every new connection waits on delayed ACKs.
    server_->set_tcp_nodelay(true);
    server_->set_keep_alive_max_count(1000);
    auto handler = [this](const httplib::Request& req, httplib::Response& res) { Serve(req, res); };
    server_->Get(".*", handler);
    if (port == 0)
        port_ = server_->bind_to_any_port("127.0.0.1");
    else
        port_ = server_->bind_to_port("127.0.0.1", port) ? port : -1;
    if (port_ <= 0)
        throw std::runtime_error("local API: cannot bind");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!server_->is_running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void LocalApi::Stop()
{
    *stopping_ = true;  // ends stalls early so the workers can finish
    if (server_)
        server_->stop();
    if (thread_.joinable())
        thread_.join();
    server_.reset();
}

std::string LocalApi::BaseUrl() const { return "https://127.0.0.1:" + std::to_string(port_); }
std::string LocalApi::FileUrl(const std::string& name) const
{
    // A blank or any other byte an address cannot hold as it is, as %XX.
    std::string encoded;
    for (unsigned char c : name) {
        if (std::isalnum(c) || std::strchr("-._~!$&'()*+,;=:@/", c)) {
            encoded += char(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            encoded += hex;
        }
    }
    return BaseUrl() + "/files/" + encoded;
}

void LocalApi::AddOrder(const std::string& code, const std::string& manifest)
{
    std::lock_guard<std::mutex> lock(mutex_);
    orders_[code] = manifest;
}

void LocalApi::AddFile(const std::string& name, std::string content)
{
    auto file = std::make_shared<File>();
    file->size = int64_t(content.size());
    file->content = std::move(content);
    std::lock_guard<std::mutex> lock(mutex_);
    file->etag = "\"" + std::to_string(file->size) + "-" + std::to_string(++versions_) + "\"";
    files_[name] = file;
}

void LocalApi::AddFileFromDisk(const std::string& name, const std::string& path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        throw std::runtime_error("local API: no file " + path);
    auto file = std::make_shared<File>();
    file->diskPath = path;
    file->size = int64_t(st.st_size);
    std::lock_guard<std::mutex> lock(mutex_);
    file->etag = "\"" + std::to_string(file->size) + "-" + std::to_string(++versions_) + "\"";
    files_[name] = file;
}

void LocalApi::AddFault(const std::string& request, Fault fault, int attempt)
{
    std::lock_guard<std::mutex> lock(mutex_);
    faults_[request][attempt] = fault;
}

void LocalApi::AllowOnlySource(const std::string& address, const std::string& paths)
{
    std::lock_guard<std::mutex> lock(mutex_);
    allowedSource_ = address;
    allowedPaths_ = paths;
}

std::vector<LoggedRequest> LocalApi::Requests() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<LoggedRequest> log = log_;
    for (size_t i = 0; i < log.size(); ++i)
        log[i].bodySent = *sent_[i];
    return log;
}

void LocalApi::ClearRequests()
{
    std::lock_guard<std::mutex> lock(mutex_);
    log_.clear();
    sent_.clear();
    attempts_.clear();
}

void LocalApi::ClearFaults()
{
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.clear();
}

Fault LocalApi::TakeFault(const std::string& key)
{
    int attempt = ++attempts_[key];
    auto it = faults_.find(key);
    if (it == faults_.end())
        return Fault{};
    auto exact = it->second.find(attempt);
    if (exact != it->second.end())
        return exact->second;
    auto every = it->second.find(0);
    return every != it->second.end() ? every->second : Fault{};
}

void LocalApi::Serve(const httplib::Request& req, httplib::Response& res)
{
    // Ranges are answered here: the library's own handling overflows past the end.
    const_cast<httplib::Request&>(req).ranges.clear();
    std::shared_ptr<File> file;
    std::string manifest;
    bool knownOrder = false;
    Fault fault;
    auto sent = std::make_shared<std::atomic<int64_t>>(0);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        log_.push_back({req.method, req.path, req.get_header_value("Range"), req.get_header_value("Cookie"),
                        req.get_header_value("User-Agent"), req.get_header_value("Accept"), req.remote_addr,
                        req.get_header_value("If-Range"), req.remote_port});
        sent_.push_back(sent);
        if (!allowedSource_.empty() && req.remote_addr != allowedSource_ && StartsWith(req.path, allowedPaths_)) {
            res.status = 403;
            res.set_content("Forbidden: this network needs its proxy\n", "text/plain");
            return;
        }
        fault = TakeFault(req.method + " " + req.path);
        for (const char* kind : {"/1/get/", "/1/next/", "/1/done/"}) {
            if (StartsWith(req.path, kind)) {
                auto order = orders_.find(req.path.substr(std::string(kind).size()));
                knownOrder = order != orders_.end();
                if (knownOrder)
                    manifest = order->second;
            }
        }
        if (StartsWith(req.path, "/files/")) {
            auto it = files_.find(req.path.substr(7));
            if (it != files_.end())
                file = it->second;
        }
    }
    if (!fault.encoding.empty())
        res.set_header("Content-Encoding", fault.encoding);
    if (!fault.retryAfter.empty())
        res.set_header("Retry-After", fault.retryAfter);
    if (fault.headerBytes > 0)
        res.set_header("X-Padding", std::string(fault.headerBytes, 'p'));
    if (fault.endless) {
        res.status = 200;
        auto stopping = stopping_;
        res.set_chunked_content_provider("application/octet-stream", [stopping](size_t offset, httplib::DataSink& sink) {
            static const std::string block(kChunk, 'x');
            if (*stopping || offset > (size_t(1) << 32))
                return false;
            return sink.write(block.data(), block.size());
        });
        return;
    }
    if (fault.status) {
        res.status = fault.status;
        if (fault.status != 204 && fault.status != 304)
            res.set_content(fault.body.empty() ? "<html><body>Fault " + std::to_string(fault.status) + "</body></html>"
                                               : fault.body,
                            "text/html");
        return;
    }
    if (req.path == "/") {
        res.status = 200;
        res.set_header("Set-Cookie", "kw_session=k3str0w; Path=/");
        res.set_content("Kestrow download API\n", "text/plain");
    } else if (StartsWith(req.path, "/1/get/") && knownOrder) {
        File m;
        m.content = manifest;
        m.size = int64_t(manifest.size());
        ServeFile(req, res, m, fault, sent);
    } else if ((StartsWith(req.path, "/1/next/") || StartsWith(req.path, "/1/done/")) && knownOrder) {
        res.status = 200;
        res.set_content("", "text/plain");
    } else if (file) {
        ServeFile(req, res, *file, fault, sent);
    } else {
        res.status = 404;
        res.set_content("<html><body>Not Found</body></html>", "text/html");
    }
}

void LocalApi::ServeFile(const httplib::Request& req, httplib::Response& res, const File& file, const Fault& fault,
                         std::shared_ptr<std::atomic<int64_t>> sent)
{
    if (fault.statedLength >= 0 && req.method != "HEAD") {
        // Another file, as far as this answer goes: the real one cut short or padded.
        File other;
        other.content = file.diskPath.empty() ? file.content : ReadWhole(file.diskPath);
        other.content.resize(size_t(fault.statedLength), '\0');
        other.size = fault.statedLength;
        Fault rest = fault;
        rest.statedLength = -1;
        ServeFile(req, res, other, rest, std::move(sent));
        return;
    }
    int64_t start = 0;
    int64_t asked = RangeStart(req.get_header_value("Range"));
    res.set_header("Accept-Ranges", "bytes");
    if (!file.etag.empty())
        res.set_header("ETag", file.etag);
    // A range of another version of the file is no range: the whole file comes.
    const std::string ifRange = req.get_header_value("If-Range");
    const bool sameVersion = ifRange.empty() || ifRange == file.etag;
    if (fault.headLength >= 0 && req.method == "HEAD") {
        if (fault.headLength == 0)
            res.set_content("", "application/octet-stream");
        else
            res.set_content_provider(size_t(fault.headLength), "application/octet-stream",
                                     [](size_t, size_t, httplib::DataSink&) { return false; });
        return;
    }
    if (asked >= 0 && sameVersion && !fault.ignoreRange && req.path.rfind("/files/", 0) == 0) {
        if (asked >= file.size && file.size > 0) {
            res.status = 416;
            res.set_header("Content-Range", "bytes */" + std::to_string(file.size));
            res.set_content("", "text/plain");
            return;
        }
        start = std::clamp<int64_t>(asked + fault.rangeShift, 0, file.size);
        res.status = 206;
        res.set_header("Content-Range", "bytes " + std::to_string(start) + "-" + std::to_string(file.size - 1) + "/" +
                                            std::to_string(file.size));
    } else {
        res.status = 200;
    }
    int64_t length = file.size - start;
    if (fault.statedLength >= 0 && req.method == "HEAD") {
        // A HEAD's body is never asked of the provider: any length can be stated.
        res.set_content_provider(size_t(fault.statedLength), "application/octet-stream",
                                 [](size_t, size_t, httplib::DataSink&) { return false; });
        return;
    }
    if (length == 0) {
        // An empty content provider never ends: plain content instead.
        res.set_content("", "application/octet-stream");
        return;
    }
    auto body = std::make_shared<File>(file);
    int fd = body->diskPath.empty() ? -1 : ::open(body->diskPath.c_str(), O_RDONLY | O_CLOEXEC);
    auto stalled = std::make_shared<bool>(false);
    auto stopping = stopping_;
    auto provide = [body, fd, start, length, fault, stalled, stopping, sent](size_t offset, size_t wanted,
                                                                          httplib::DataSink& sink) {
            size_t n = std::min({wanted, kChunk, size_t(length) - offset});
            if (fault.stallMs > 0 && !*stalled) {
                if (int64_t(offset) < fault.stallAt) {
                    n = std::min<size_t>(n, size_t(fault.stallAt - int64_t(offset)));
                } else {
                    *stalled = true;
                    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(fault.stallMs);
                    while (!*stopping && std::chrono::steady_clock::now() < until)
                        std::this_thread::sleep_for(std::chrono::milliseconds(5));
                    if (*stopping)
                        return false;
                }
            }
            if (fault.cutAfter >= 0) {
                if (int64_t(offset) >= fault.cutAfter)
                    return false;  // the connection drops mid-body
                n = std::min<size_t>(n, size_t(fault.cutAfter - int64_t(offset)));
            }
            if (fault.bytesPerSecond > 0) {
                n = std::min<size_t>(n, size_t(std::max<int64_t>(1, fault.bytesPerSecond / 20)));
                std::this_thread::sleep_for(std::chrono::microseconds(int64_t(n) * 1000000 / fault.bytesPerSecond));
            }
            int64_t at = start + int64_t(offset);
            const char* data = body->content.data() + at;
            if (fd >= 0) {
                static thread_local std::vector<char> buffer(kChunk);
                ssize_t got = ::pread(fd, buffer.data(), n, off_t(at));
                if (got <= 0)
                    return false;
                data = buffer.data();
                n = size_t(got);
            }
            if (!sink.write(data, n))
                return false;
            *sent += int64_t(n);
            return true;
    };
    auto release = [fd](bool) {
        if (fd >= 0)
            ::close(fd);
    };
    if (!fault.noLength) {
        res.set_content_provider(size_t(length), "application/octet-stream", provide, release);
        return;
    }
    // No length stated: the body ends when the connection does.
    res.set_header("Connection", "close");
    res.set_content_provider(
        "application/octet-stream",
        [provide, length](size_t offset, httplib::DataSink& sink) {
            if (int64_t(offset) >= length) {
                sink.done();
                return true;
            }
            return provide(offset, size_t(length) - offset, sink);
        },
        release);
}
