#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// A broken expectation ends the run the way a sanitizer finding does: a line on the
// fuzzer's report stream, then abort, so that libFuzzer keeps the input as a crash.
#define FUZZ_CHECK(condition)                                    \
    do {                                                         \
        if (!(condition)) {                                      \
            rvfuzz::CheckFailed(#condition, __FILE__, __LINE__); \
        }                                                        \
    } while (false)

namespace rvfuzz {

[[noreturn]] void CheckFailed(const char* condition, const char* file, int line);
// A line of detail on the report stream, written before a check that is about to fail.
void Report(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The input as text.
inline std::string_view Text(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

}  // namespace rvfuzz
