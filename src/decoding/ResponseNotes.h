#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "decoding/ContentDecoding.h"
#include "http/VerdictHeaders.h"
#include "platform/Ascii.h"

// What the read path asks of the response header pairs a fetcher has recorded since its last
// EndRequest: the content encoding its body needs, the server's verdict and the expiry.
// Noted once, as the pairs are recorded, so that IsEncoding, Decompress and the read
// functions do not search the list again. Every answer is FindHeader's: the first pair of
// that name in the whole list (letter case ignored), however many responses it holds.
namespace RVUtil::decoding {

class ResponseNotes {
  public:
    // The pairs whose place in the list is noted.
    enum class Noted { Verdict, Expiry };

    void Clear() { *this = ResponseNotes(); }

    // Notes the next pair of the list. A name ends at a NUL in it, as FindHeader compares.
    void Note(std::string_view name, std::string_view value) {
        const std::string_view compared = name.substr(0, name.find('\0'));
        if (!m_encodingSeen && ascii::EqualsNoCase(compared, "Content-Encoding")) {
            m_encodingSeen = true;
            m_encoding = EncodingOf(value);
        } else if (!m_verdictAt && ascii::EqualsNoCase(compared, kErrorVerdictHeader)) {
            m_verdictAt = m_pairs;
        } else if (!m_expiryAt && ascii::EqualsNoCase(compared, kExpiryHeader)) {
            m_expiryAt = m_pairs;
        }
        ++m_pairs;
    }

    // How many pairs are noted: the notes cover the first Pairs() pairs of the list.
    std::size_t Pairs() const { return m_pairs; }
    // The encoding the first Content-Encoding pair names (None without one).
    ContentEncoding Encoding() const { return m_encoding; }
    // Where the first pair of that name lies in the list, counted in pairs; none without one.
    std::optional<std::size_t> At(Noted noted) const {
        return noted == Noted::Verdict ? m_verdictAt : m_expiryAt;
    }

  private:
    std::size_t m_pairs = 0;
    bool m_encodingSeen = false;
    ContentEncoding m_encoding = ContentEncoding::None;
    std::optional<std::size_t> m_verdictAt;
    std::optional<std::size_t> m_expiryAt;
};

}  // namespace RVUtil::decoding
