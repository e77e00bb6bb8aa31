#pragma once

#include <string>

namespace rvtest {

// A certificate authority made for one test program, and server certificates for
// 127.0.0.1: one it signs, one it signs for another name, and one nobody signs. Made once,
// on first use, with the openssl command in a directory removed at exit. Point
// SSL_CERT_FILE at CaFile() to make a TLS client trust the authority alone.
class TestCertificates {
  public:
    struct KeyPair {
        std::string certFile;
        std::string keyFile;
    };

    static const TestCertificates& Get();

    const std::string& CaFile() const { return m_ca.certFile; }
    const KeyPair& Loopback() const { return m_loopback; }    // names IP 127.0.0.1
    const KeyPair& WrongName() const { return m_wrongName; }  // names only wrong-name.invalid
    const KeyPair& Untrusted() const { return m_untrusted; }  // 127.0.0.1, self-signed

  private:
    TestCertificates();

    std::string m_dir;
    KeyPair m_ca;
    KeyPair m_loopback;
    KeyPair m_wrongName;
    KeyPair m_untrusted;
};

}  // namespace rvtest
