#pragma once

#include <string>
#include <string_view>

namespace rvfetch {

// Where the body goes: standard output, or a file that is opened before the request, so
// that a file that cannot be created fails before anything is sent. A file is emptied only
// when the body is there to write; one that did not exist before is removed again when the
// fetch fails.
class Output {
  public:
    Output() = default;
    ~Output();
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // path empty or "-": standard output. False with the reason in error.
    bool Open(const std::string& path, std::string& error);
    bool IsStandardOutput() const { return m_fd == 1; }
    // Writes the whole body (and the header blocks before it); false with the reason.
    bool WriteAll(std::string_view heads, std::string_view body, std::string& error);
    // The fetch failed: a file this run created is removed, an older one left as it was.
    void Discard();

  private:
    int m_fd = 1;
    std::string m_path;
    bool m_created = false;
    bool m_regular = false;  // a file to empty first (not /dev/null or a pipe)
};

}  // namespace rvfetch
