#pragma once

#include <string>
#include <vector>

#include "RecordTrail.h"

namespace rvfetch {

// The cause of a failed fetch in plain words, read from the library's records of that
// fetch and from the response's status line: "could not connect (...) (curl code 7):
// <libcurl's text>", "timed out after 300 ms (error 12002)", "HTTP status 404 Not Found".
// Empty when neither tells anything.
std::string DescribeFailure(const std::vector<LogRecord>& records, const std::string& statusText,
                            unsigned long timeoutMs);

}  // namespace rvfetch
