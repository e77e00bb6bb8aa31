#include "decoding/DecodedBody.h"

#include <new>
#include <string>

namespace RVUtil::decoding {

DecodedBody DecodedBody::Failed(FailureKind kind, long code,
                                std::initializer_list<std::string_view> words) noexcept {
    DecodedBody failed;
    failed.failure.kind = kind;
    failed.failure.code = code;
    try {
        for (const std::string_view piece : words) {
            failed.failure.words += piece;
        }
    } catch (const std::bad_alloc&) {
        failed.failure.words.clear();
    }
    return failed;
}

DecodedBody DecodedBody::OverLimit(std::string_view coding, std::size_t limit) {
    return Failed(FailureKind::BodyLimit, static_cast<long>(limit),
                  {coding, ": output over the body limit of ", std::to_string(limit), " bytes"});
}

}  // namespace RVUtil::decoding
