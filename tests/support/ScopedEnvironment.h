#pragma once

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace rvtest {

// Sets or removes environment variables for a scope and puts the old values back after it.
// The environment is process-wide: use it only while no other thread of the test reads it.
class ScopedEnvironment {
  public:
    ScopedEnvironment() = default;
    ~ScopedEnvironment() {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            if (it->second) {
                ::setenv(it->first.c_str(), it->second->c_str(), 1);
            } else {
                ::unsetenv(it->first.c_str());
            }
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

    ScopedEnvironment& Set(const std::string& name, const std::string& value) {
        Remember(name);
        ::setenv(name.c_str(), value.c_str(), 1);
        return *this;
    }
    ScopedEnvironment& Unset(const std::string& name) {
        Remember(name);
        ::unsetenv(name.c_str());
        return *this;
    }
    // Removes every proxy variable (http_proxy, https_proxy, all_proxy, no_proxy, auto_proxy,
    // either case), so that a machine's own proxy settings cannot reroute loopback requests.
    ScopedEnvironment& UnsetProxies() {
        for (const char* name :
             {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY",
              "no_proxy", "NO_PROXY", "auto_proxy", "AUTO_PROXY"}) {
            Unset(name);
        }
        return *this;
    }

  private:
    // Only the value before the first change is kept, so the destructor restores it.
    void Remember(const std::string& name) {
        if (std::any_of(m_saved.begin(), m_saved.end(),
                        [&](const auto& saved) { return saved.first == name; })) {
            return;
        }
        const char* value = std::getenv(name.c_str());
        m_saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

}  // namespace rvtest
