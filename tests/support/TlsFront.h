#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ChildProcess.h"

namespace rvtest {

// The TLS variant of a loopback server: a socat process accepts TLS on 127.0.0.1 with a
// given certificate and relays the plaintext both ways to a plain server on 127.0.0.1 (a
// ScriptedServer, say), so that a test scripts exact wire bytes under TLS too. When the
// plain server ends a connection, so does the relay.
class TlsFront {
  public:
    // port 0: a port the system picks. A fixed port that is still in use by another test
    // program is waited for, up to 60 s; IsListening() tells whether it came free.
    TlsFront(std::uint16_t backendPort, const std::string& certFile, const std::string& keyFile,
             std::uint16_t port = 0);

    bool IsListening() const { return m_port != 0; }
    std::uint16_t Port() const { return m_port; }

  private:
    TempDir m_dir;  // socat's log, where it says which port it listens on
    std::unique_ptr<ChildProcess> m_relay;
    std::uint16_t m_port = 0;
};

}  // namespace rvtest
