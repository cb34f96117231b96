#pragma once
// A certificate authority and a server certificate for 127.0.0.1, made on
// the spot (EC P-256), so that loopback HTTPS is verified like the real one.

#include <string>

struct CertificateFiles {
    std::string caFile;    // PEM: the authority a client must trust
    std::string certFile;  // PEM: the server's certificate
    std::string keyFile;   // PEM: the server's private key
};

// Writes ca.pem, server.pem and server.key into `folder`; throws on failure.
CertificateFiles MakeCertificates(const std::string& folder, const std::string& authorityName = "Kestrow Test CA");
