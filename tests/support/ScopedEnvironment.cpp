#include "ScopedEnvironment.h"

#include <algorithm>
#include <cstdlib>

namespace rvtest {

ScopedEnvironment::~ScopedEnvironment() {
    for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
        if (it->second) {
            ::setenv(it->first.c_str(), it->second->c_str(), 1);
        } else {
            ::unsetenv(it->first.c_str());
        }
    }
}

void ScopedEnvironment::Remember(const std::string& name) {
    const bool known = std::any_of(m_saved.begin(), m_saved.end(),
                                   [&](const auto& saved) { return saved.first == name; });
    if (known) {
        return;
    }
    const char* value = std::getenv(name.c_str());
    m_saved.emplace_back(name, value != nullptr ? std::optional<std::string>(value) : std::nullopt);
}

ScopedEnvironment& ScopedEnvironment::Set(const std::string& name, const std::string& value) {
    Remember(name);
    ::setenv(name.c_str(), value.c_str(), 1);
    return *this;
}

ScopedEnvironment& ScopedEnvironment::Unset(const std::string& name) {
    Remember(name);
    ::unsetenv(name.c_str());
    return *this;
}

ScopedEnvironment& ScopedEnvironment::UnsetProxies() {
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy",
                             "ALL_PROXY", "no_proxy", "NO_PROXY"}) {
        Unset(name);
    }
    return *this;
}

}  // namespace rvtest
