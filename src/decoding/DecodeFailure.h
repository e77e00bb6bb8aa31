#pragma once

#include <initializer_list>
#include <new>
#include <string_view>

#include "RVUtil/Failure.h"

namespace RVUtil {

// Stores why a decoder failed where its caller asked for it (failure is null for callers that
// want the result alone), the words joined from pieces. It never throws: when memory for the
// words cannot be had, the kind and code alone tell the failure.
inline void ReportFailure(Failure* failure, FailureKind kind, long code,
                          std::initializer_list<std::string_view> words) noexcept {
    if (failure == nullptr) {
        return;
    }
    failure->kind = kind;
    failure->code = code;
    failure->words.clear();
    try {
        for (const std::string_view piece : words) {
            failure->words += piece;
        }
    } catch (const std::bad_alloc&) {
        failure->words.clear();
    }
}

}  // namespace RVUtil
