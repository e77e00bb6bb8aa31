#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rvfetch {

// Where a transfer's bytes go: standard output, or a file that is created (or emptied) when
// the first byte is written, as curl does, so that a transfer that fails before its body
// leaves no file behind.
class Output {
  public:
    // path empty or "-": standard output; "-" also says binary output to a terminal is
    // wanted. createDirs: the folders of path are made when the file is.
    Output(std::string path, bool createDirs);
    ~Output();
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    bool IsStandardOutput() const { return m_path.empty() || m_path == "-"; }
    const std::string& Path() const { return m_path; }
    // False with the reason in error().
    bool Write(std::string_view bytes);
    // A transfer that ended with nothing to write still leaves its (empty) file.
    bool Touch();
    // Before a retry: a file goes back to empty. The bytes that were thrown away.
    std::uint64_t Rewind();
    // Binary bytes (a NUL) near the start of what goes to a terminal, unless "-o -" asked.
    bool RefusesBinary(std::string_view piece) const;
    std::uint64_t Written() const { return m_written; }
    const std::string& Error() const { return m_error; }

  private:
    bool Open();

    std::string m_path;
    bool m_createDirs;
    int m_fd = -1;
    bool m_regular = false;
    std::uint64_t m_written = 0;
    std::string m_error;
};

}  // namespace rvfetch
