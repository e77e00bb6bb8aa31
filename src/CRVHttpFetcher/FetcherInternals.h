#pragma once

#include <string>

#include "RVUtil/CRVHttpFetcher.h"
#include "RVUtil/Failure.h"
#include "buffers/BodyStore.h"
#include "decoding/ResponseNotes.h"
#include "http/CallSettings.h"
#include "http/PairArray.h"
#include "http/ParsedHead.h"

namespace RVUtil {

// The part of CRVHttpFetcher that hosts do not see.
struct CRVHttpFetcher::Internals {
    // The response buffer's block: m_pBuffer, m_nCapacity and m_nSize show it.
    buffers::BodyStore body;
    // The settings of the fetch in progress (Fetch, RVUtil/Fetch.h); null outside one.
    const http::CallSettings* call = nullptr;
    // Why the last request, or the last Decompress, failed; kind None when it did not.
    Failure failure;
    // The path of the last request's URL, for the records Decompress writes.
    std::string urlPath;
    // A fetch's request head, as it was sent.
    std::string requestHead;
    // Where the parts of m_strRawHeaders lie, as the transport found them when the head
    // arrived; kept for a fetch alone (empty otherwise), whose outcome is made from them.
    http::HeadIndex headIndex;
    // A streaming fetch's body did not decode (or passed the limit as it was decoded):
    // IsEncoding and Decompress then report the decoding failure, as for a whole body.
    bool streamUndecodable = false;
    // What the read path asks of m_arrRespHeaders; see NotesOn.
    decoding::ResponseNotes notes;

    // The notes on pairs, the fetcher's response pairs, brought up to date first: the pairs
    // recorded since (by a request, by ParseHeader, or by a derived class itself) are noted,
    // and a list that shrank behind the notes' back is noted again from its start.
    // EndRequest and Request2, which empty the list, clear the notes themselves.
    const decoding::ResponseNotes& NotesOn(const CStringArray& pairs) {
        const auto noted = static_cast<INT_PTR>(notes.Pairs());
        if (2 * noted > pairs.GetSize()) {
            notes.Clear();
        }
        http::ForEachPair(
            pairs,
            [this](INT_PTR, const CString& name, const CString& value) {
                notes.Note(name.str(), value.str());
                return true;
            },
            2 * static_cast<INT_PTR>(notes.Pairs()));
        return notes;
    }

    // The call's options take effect only while a call is in progress.
    bool Streaming() const { return call != nullptr && call->sink != nullptr; }
    bool DecodingLeftOut() const { return call != nullptr && !call->options.decode; }
};

}  // namespace RVUtil
