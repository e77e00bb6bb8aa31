#include "TestCertificates.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "ChildProcess.h"

namespace rvtest {
namespace {

void Run(const std::string& command) {
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) {
        throw std::runtime_error("test certificates: failed: " + command);
    }
}

const char* const kNewKey = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";

}  // namespace

const TestCertificates& TestCertificates::Get() {
    static const TestCertificates kInstance;
    return kInstance;
}

TestCertificates::TestCertificates() {
    static const TempDir kDir("rvutil-certs");  // removed at exit
    m_dir = kDir.Path();
    const auto file = [&](const std::string& name) { return m_dir + "/" + name; };
    const auto selfSigned = [&](const std::string& name, const std::string& subjectAndExtensions) {
        KeyPair pair{file(name + ".pem"), file(name + ".key")};
        Run("openssl req -x509 " + std::string(kNewKey) + " -keyout " + pair.keyFile + " -out " +
            pair.certFile + " -days 3 -subj " + subjectAndExtensions);
        return pair;
    };
    m_ca = selfSigned("ca",
                      "'/CN=RVUtil Test CA' -addext basicConstraints=critical,CA:TRUE"
                      " -addext keyUsage=critical,keyCertSign,cRLSign");

    const auto signedFor = [&](const std::string& name, const std::string& altNames) {
        KeyPair pair{file(name + ".pem"), file(name + ".key")};
        const std::string extensions = file(name + ".ext");
        std::ofstream(extensions) << "subjectAltName=" << altNames
                                  << "\nbasicConstraints=CA:FALSE"
                                     "\nextendedKeyUsage=serverAuth\n";
        Run("openssl req " + std::string(kNewKey) + " -keyout " + pair.keyFile + " -out " +
            file(name + ".csr") + " -subj /CN=" + name);
        Run("openssl x509 -req -in " + file(name + ".csr") + " -CA " + m_ca.certFile + " -CAkey " +
            m_ca.keyFile + " -CAcreateserial -days 3 -extfile " + extensions + " -out " +
            pair.certFile);
        return pair;
    };
    m_loopback = signedFor("loopback", "IP:127.0.0.1");
    m_wrongName = signedFor("wrong-name", "DNS:wrong-name.invalid");

    m_untrusted = selfSigned("untrusted", "/CN=untrusted -addext subjectAltName=IP:127.0.0.1");
}

}  // namespace rvtest
