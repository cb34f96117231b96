#include "tests/support/servers.h"

#include "install/library_record.h"

#include "tests/support/gui.h"

#include <filesystem>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/sha.h>
#include <openssl/ssl.h>
#include <csignal>
#include <random>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

ApiServer::ApiServer()
{
    certs_ = MakeCertificates(folder_.path());
    api_ = std::make_unique<LocalApi>(certs_);
    api_->Start();
}

void ApiServer::ServeOrder(const std::string& code, const std::vector<std::string>& paths)
{
    api_->AddFile("cover.png", PngBytes(200, 30));
    std::string manifest = api_->FileUrl("cover.png") + "\n";
    for (const std::string& path : paths) {
        std::string name = std::filesystem::path(path).filename();
        api_->AddFileFromDisk(name, path);
        manifest += api_->FileUrl(name) + "\n";
    }
    api_->AddOrder(code, manifest);
}

int LoopbackListener(int& port, bool nonBlocking)
{
    int s = socket(AF_INET, SOCK_STREAM | (nonBlocking ? SOCK_NONBLOCK : 0), 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(s, 4) != 0)
        throw std::runtime_error("cannot listen on loopback");
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return s;
}

int FreeLoopbackPort()
{
    int port = 0;
    close(LoopbackListener(port));
    return port;
}

namespace {
bool Accepts(int port)
{
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(s);
    return ok;
}
}  // namespace

// tinyproxy cannot take port 0: pick a free port and try again if it was taken.
Tinyproxy::Tinyproxy(const std::string& user, const std::string& password, int connectPort,
                     const std::string& bindAddress)
{
    for (int attempt = 0; attempt < 5 && pid_ < 0; ++attempt) {
        port_ = FreeLoopbackPort();
        std::string conf = folder_.file("tinyproxy.conf");
        writeFile(conf, "Port " + std::to_string(port_) +
                            "\nListen 127.0.0.1\nBind " + bindAddress +
                            "\nTimeout 30\nMaxClients 20\nAllow 127.0.0.1\nBasicAuth " + user + " " + password +
                            "\nConnectPort " + std::to_string(connectPort) + "\nLogLevel Info\n");
        pid_t pid = fork();
        if (pid == 0) {
            freopen(folder_.file("tinyproxy.log").c_str(), "w", stderr);
            freopen(folder_.file("tinyproxy.log").c_str(), "a", stdout);
            execlp("tinyproxy", "tinyproxy", "-d", "-c", conf.c_str(), (char*)nullptr);
            _exit(127);
        }
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {
            if (waitpid(pid, nullptr, WNOHANG) == pid)
                break;  // it died: the port was taken
            if (Accepts(port_)) {
                pid_ = pid;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (pid_ < 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    if (pid_ < 0)
        throw std::runtime_error("tinyproxy did not start: " + folder_.read("tinyproxy.log"));
}

Tinyproxy::~Tinyproxy()
{
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
}

RawTlsServer::RawTlsServer(const CertificateFiles& certificates, std::string answer, bool closeNotice, Kind kind)
{
    listener_ = LoopbackListener(port_);
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate_chain_file(ctx, certificates.certFile.c_str());
    SSL_CTX_use_PrivateKey_file(ctx, certificates.keyFile.c_str(), SSL_FILETYPE_PEM);
    if (kind == Tls10Only) {
        SSL_CTX_set_security_level(ctx, 0);
        SSL_CTX_set_min_proto_version(ctx, TLS1_VERSION);
        SSL_CTX_set_max_proto_version(ctx, TLS1_VERSION);
    }
    if (kind == AsksClientCertificate)
        SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, nullptr);
    thread_ = std::thread([this, ctx, answer = std::move(answer), closeNotice, kind] {
        int fd;
        // Ends when the destructor shuts the listener down.
        while ((fd = accept(listener_, nullptr, nullptr)) >= 0) {
            std::string request;
            char buffer[4096];
            int n;
            if (kind == ResetsHandshake) {  // the client's hello read, then a close that sends RST
                [[maybe_unused]] ssize_t hello = read(fd, buffer, sizeof buffer);
                linger reset{1, 0};
                setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
                close(fd);
                continue;
            }
            if (kind == Plain) {
                while (request.find("\r\n\r\n") == std::string::npos && (n = int(read(fd, buffer, sizeof buffer))) > 0)
                    request.append(buffer, size_t(n));
                [[maybe_unused]] ssize_t sent = write(fd, answer.data(), answer.size());
                close(fd);
                continue;
            }
            SSL* ssl = SSL_new(ctx);
            SSL_set_fd(ssl, fd);
            if (SSL_accept(ssl) == 1)
                while (request.find("\r\n\r\n") == std::string::npos && (n = SSL_read(ssl, buffer, sizeof buffer)) > 0)
                    request.append(buffer, size_t(n));
            SSL_write(ssl, answer.data(), int(answer.size()));
            if (closeNotice)
                SSL_shutdown(ssl);
            SSL_free(ssl);
            close(fd);
        }
        SSL_CTX_free(ctx);
    });
}

RawTlsServer::~RawTlsServer()
{
    shutdown(listener_, SHUT_RDWR);
    thread_.join();
    close(listener_);
}

std::string RandomBytes(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = char(rng() & 0xFF);
    return s;
}

std::string Digest(const std::string& bytes)
{
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
    char hex[17];
    for (int i = 0; i < 8; ++i)
        std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    return std::to_string(bytes.size()) + ":" + hex;
}

std::map<std::string, std::string> Tree(const std::string& root)
{
    namespace fs = std::filesystem;
    std::map<std::string, std::string> out;
    if (!fs::exists(root))
        return out;
    for (auto& e : fs::recursive_directory_iterator(root)) {
        std::string rel = fs::relative(e.path(), root).string();
        if (e.is_symlink())
            out[rel] = "<link>";
        else if (e.is_directory())
            out[rel + "/"] = "";
        else
            out[rel] = Digest(readFile(e.path().string()));
    }
    return out;
}

std::map<std::string, std::string> Library(const std::string& root)
{
    auto tree = Tree(root);
    // Its record stands for the whole tree, or the difference shows.
    FILE* quiet = std::fopen("/dev/null", "w");
    if (tree.erase(kLibraryRecordName) == 0 || VerifyLibrary(root, quiet) != 0)
        tree["(its record)"] = "missing, or not what is there";
    std::fclose(quiet);
    return tree;
}

std::map<std::string, std::string> TreeOf(const std::vector<RarItem>& items)
{
    std::map<std::string, std::string> out;
    for (auto& i : items) {
        if (i.kind == RarItem::Directory)
            out[i.name + "/"] = "";
        else
            out[i.name] = Digest(i.data);
    }
    // folders that exist only as part of a path
    for (auto& i : items)
        for (size_t at = i.name.find('/'); at != std::string::npos; at = i.name.find('/', at + 1))
            out[i.name.substr(0, at) + "/"] = "";
    return out;
}
