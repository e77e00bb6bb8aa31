#pragma once

#include <optional>
#include <string>
#include <vector>

namespace rvtest {

// Sets or removes environment variables for a scope and puts the old values back after it.
// The environment is process-wide: use it only while no other thread of the test reads it.
class ScopedEnvironment {
  public:
    ScopedEnvironment() = default;
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

    ScopedEnvironment& Set(const std::string& name, const std::string& value);
    ScopedEnvironment& Unset(const std::string& name);
    // Removes every proxy variable (http_proxy, https_proxy, all_proxy, no_proxy, either
    // case), so that a machine's own proxy settings cannot reroute loopback requests.
    ScopedEnvironment& UnsetProxies();

  private:
    void Remember(const std::string& name);
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

}  // namespace rvtest
