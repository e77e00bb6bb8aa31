// The body of an answer: read whole into the fetcher's buffer, or handed piece by piece to
// a streaming fetch's receiver.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

#include <string>

#include "CRVHttpFetcher/ExchangeRecords.h"
#include "CRVHttpFetcher/FetcherInternals.h"
#include "CRVHttpFetcher/FetcherLimits.h"
#include "RVUtil/BodyLimit.h"
#include "RVUtil/CRVHttpFetcher.h"
#include "decoding/BodyDelivery.h"
#include "decoding/BodyLimitFor.h"
#include "http/BodyLimitRecord.h"
#include "log/PXLog.h"
#include "transport/Request.h"

namespace RVUtil {

using decoding::BodyDelivery;
using decoding::BodyLimitFor;
using inet::kErrorDetail;
using inet::kReadError;

// Appends the body to the buffer, reading straight into its block: a body of a declared
// length into one block of exactly that length, reserved before the first byte; one without
// a length into a block that grows as it comes. A body that fails part way keeps what
// arrived; the failure is logged and remembered for IsResponseComplete. The buffer never
// grows past the body limit: a declared length beyond it fails before anything is read.
void CRVHttpFetcher::ReadBody(transport::Request& request, const char* urlPath) {
    const auto limit = static_cast<long long>(BodyLimitFor(m_pInternals->call));
    buffers::BodyStore& body = m_pInternals->body;
    // Room left under the limit; a body appended to an earlier one shares it.
    const auto room = [&] {
        return static_cast<std::size_t>(std::max(0LL, limit - static_cast<long long>(body.Size())));
    };
    std::string detail;
    const auto fail = [&](DWORD error, std::string words) {
        m_dwReadError = error;
        detail = std::move(words);
        m_pInternals->failure = {
            transport::FailureKindOf(static_cast<transport::InetError>(error), true),
            static_cast<long>(error), detail};
    };
    const auto overLimit = [&] {
        LogChannel()(log::CPXLog::LVL_ERROR).Write(http::kBodyOverLimitRecord, limit, urlPath);
        fail(transport::kInetBodyOverLimit,
             "body over the limit of " + std::to_string(limit) + " bytes");
    };
    if (const auto declared = request.DeclaredLength(); declared.has_value()) {
        if (*declared > room()) {
            overLimit();
        } else if (!body.Reserve(static_cast<std::size_t>(*declared))) {
            fail(transport::kInetInternalError, "no memory for the body");
        }
    }
    body.SetGrowthLimit(static_cast<std::size_t>(limit));
    // Where a read goes when the block is full: the bytes are appended (growing the block)
    // when the body goes on, so a block of the declared length never grows for nothing.
    BYTE spill[inet::kReadChunkSize];
    while (m_dwReadError == 0) {
        const bool full = body.Room() == 0 || room() == 0;
        BYTE* into = full ? spill : body.Tail();
        const std::size_t wanted = full ? sizeof spill : std::min(body.Room(), room());
        std::size_t received = 0;
        if (const transport::InetError error = request.Read(into, wanted, &received);
            error != transport::kInetOk) {
            fail(error, request.ErrorDetail());
            m_pInternals->failure = request.LastFailure();
        } else if (received == 0) {
            break;
        } else if (!full) {
            body.Commit(received);
        } else if (received > room()) {
            overLimit();
        } else if (!body.Append(spill, received)) {
            fail(transport::kInetInternalError, "no memory for the body");
        }
    }
    ShowBuffer();
    if (m_dwReadError != 0) {
        LogChannel()(log::CPXLog::LVL_ERROR)
            .Write(kReadError, static_cast<int>(m_dwReadError), urlPath);
        LogChannel()(log::CPXLog::LVL_ERROR).Write(kErrorDetail, detail.c_str());
    }
}

// Hands the body to the streaming fetch's receiver as it arrives (BodyDelivery), never
// holding more than one piece of it. A body that is not to be delivered is not read at all.
void CRVHttpFetcher::StreamBody(transport::Request& request, const char* urlPath) {
    Internals& inside = *m_pInternals;
    const FetchOptions& options = inside.call->options;
    const std::uint64_t limit = BodyLimitFor(inside.call);
    BodyDelivery delivery(*inside.call->sink, options, limit, request.SentHead());
    std::unique_ptr<BYTE[]> piece;
    bool reading = delivery.Begin(request.StatusCode(), request.Head().View());
    if (reading) {
        piece.reset(new (std::nothrow) BYTE[inet::kStreamPieceSize]);
        if (!piece) {
            m_dwReadError = transport::kInetInternalError;
            inside.failure = {FailureKind::OutOfMemory, 0, "no memory for the body"};
            reading = false;
        }
    }
    while (reading) {
        std::size_t received = 0;
        if (const transport::InetError error =
                request.Read(piece.get(), inet::kStreamPieceSize, &received);
            error != transport::kInetOk) {
            m_dwReadError = error;
            inside.failure = request.LastFailure();
            break;
        }
        if (received == 0) {
            delivery.Finish();
            break;
        }
        reading = delivery.Feed(piece.get(), received);
    }
    switch (delivery.Stopped()) {
        case BodyDelivery::Stop::None:
            break;
        case BodyDelivery::Stop::Undecodable:
            inside.streamUndecodable = true;
            inside.failure = delivery.LastFailure();
            break;
        case BodyDelivery::Stop::OverLimit:
            // Passed while decoding, the limit is the decoding's failure, as for a whole body.
            if (delivery.Decoding()) {
                inside.streamUndecodable = true;
            } else {
                m_dwReadError = transport::kInetBodyOverLimit;
            }
            inside.failure = delivery.LastFailure();
            break;
        case BodyDelivery::Stop::Cancelled:
            m_dwReadError = transport::kInetCancelled;
            inside.failure = delivery.LastFailure();
            break;
    }
    if (inside.failure.kind == FailureKind::BodyLimit) {
        LogChannel()(log::CPXLog::LVL_ERROR)
            .Write(http::kBodyOverLimitRecord, static_cast<long long>(limit), urlPath);
    }
    if (m_dwReadError != 0) {
        LogChannel()(log::CPXLog::LVL_ERROR)
            .Write(kReadError, static_cast<int>(m_dwReadError), urlPath);
        LogChannel()(log::CPXLog::LVL_ERROR).Write(kErrorDetail, inside.failure.words.c_str());
    }
}

// Grows the buffer to exactly the length needed whenever the bytes do not fit; a failed
// growth leaves it as it was.
int CRVHttpFetcher::SaveData(BYTE* data, unsigned int length) {
    if (data == nullptr || length == 0 || IsInit() == 0) {
        return 0;
    }
    buffers::BodyStore& body = m_pInternals->body;
    if (std::uint64_t{body.Size()} + length >
        static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
        return 0;  // the size is a 32-bit count
    }
    const bool saved = body.Reserve(length) && body.Append(data, length);
    ShowBuffer();
    return saved ? 1 : 0;
}

}  // namespace RVUtil
