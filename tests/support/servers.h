#pragma once
// Real peers on loopback, started by the tests and stopped by their pid.

#include "tools/rarwriter/rar_writer.h"
#include "tests/support/sandbox.h"
#include "tools/localapi/local_api.h"

#include <map>
#include <memory>
#include <string>
#include <sys/types.h>
#include <thread>

// The local download API with a certificate made for this test.
class ApiServer {
public:
    ApiServer();
    LocalApi& api() { return *api_; }
    LocalApi* operator->() { return api_.get(); }
    const std::string& caFile() const { return certs_.caFile; }
    const CertificateFiles& certificates() const { return certs_; }
    std::string base() const { return api_->BaseUrl(); }
    // The files at `paths` as the order `code`, after a product picture.
    void ServeOrder(const std::string& code, const std::vector<std::string>& paths);

private:
    Sandbox folder_;
    CertificateFiles certs_;
    std::unique_ptr<LocalApi> api_;
};

// Answers every TLS connection on 127.0.0.1 with the same bytes, for what no
// HTTP server library sends: no HTTP at all, or a body whose end is a closed
// connection without TLS's close notice (`closeNotice` false). Or is one of
// the peers corporate networks put in the way: an appliance that speaks only
// TLS 1.0, one that demands a client certificate, a firewall that resets the
// handshake it does not like, or (Plain, no TLS) a proxy with one answer to
// every CONNECT.
class RawTlsServer {
public:
    enum Kind { Tls, Tls10Only, AsksClientCertificate, ResetsHandshake, Plain };
    RawTlsServer(const CertificateFiles& certificates, std::string answer, bool closeNotice, Kind kind = Tls);
    int port() const { return port_; }
    ~RawTlsServer();
    std::string url(const std::string& path) const { return "https://127.0.0.1:" + std::to_string(port_) + path; }

private:
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
};

// tinyproxy with Basic authorization, its outgoing side on `bindAddress`.
class Tinyproxy {
public:
    Tinyproxy(const std::string& user, const std::string& password, int connectPort,
              const std::string& bindAddress = "127.0.0.3");
    ~Tinyproxy();
    int port() const { return port_; }

private:
    Sandbox folder_;
    pid_t pid_ = -1;
    int port_ = 0;
};

int FreeLoopbackPort();
// A TCP listener on 127.0.0.1 at a free port (in `port`); its descriptor,
// to close when done. Left alone, it takes connections and never answers.
int LoopbackListener(int& port, bool nonBlocking = false);
// What a file holds, short enough for a failure message.
std::string Digest(const std::string& bytes);
// Every file below `root` by relative path, with its digest; folders end in '/'.
std::map<std::string, std::string> Tree(const std::string& root);
// An installed library in the form of Tree(), without its record, which must
// hold exactly what is there (its entry "(its record)" says when not).
std::map<std::string, std::string> Library(const std::string& root);
// What unpacking the items gives, in the form of Tree().
std::map<std::string, std::string> TreeOf(const std::vector<RarItem>& items);
std::string RandomBytes(size_t n, unsigned seed = 1);
