#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "http/HeaderLines.h"
#include "http/StatusLine.h"
#include "platform/Ascii.h"

// A response head read once: its status line and the lines of its fields, found where they
// lie in the block as received. Everything that reads a head (the transport, both fetchers,
// the streaming request, the read functions, rvfetch) asks it here instead of cutting the
// text again. Header-only: rvfetch, a host of the shared library, reads heads with it too.
namespace RVUtil::http {

// A line of a head that holds a colon: the name before the first colon and the value after
// it, both exactly as received (the value keeps the blank after the colon).
struct HeaderField {
    std::string_view name;
    std::string_view value;
};

// The value FindHeader gives for field: the text after the one space that must follow the
// colon. None for a field without a name or without that space ("Name:value", "Name:").
constexpr std::optional<std::string_view> RecordedValue(const HeaderField& field) {
    if (field.name.empty() || field.value.empty() || field.value.front() != ' ') {
        return std::nullopt;
    }
    return field.value.substr(1);
}

// Where the parts of a head lie in its block, as offsets: the block may move (a string
// handed on, a buffer that grows) without the index going stale.
class HeadIndex {
  public:
    void Clear() {
        m_fields.clear();
        m_lines = 0;
        m_status = 0;
        m_statusLineField = false;
    }

    // One line of the block as ForEachHeaderLine cuts it, starting at offset at. The first
    // line is the status line; every line with a colon is a field (the status line too,
    // when its reason phrase holds one: the fetchers' header lists have always kept it).
    void AddLine(std::size_t at, std::string_view line) {
        if (m_lines++ == 0) {
            StatusLine status;
            if (ReadStatusLine(line, &status)) {
                m_status = status.status;
                m_codeAt = at + static_cast<std::size_t>(status.code.data() - line.data());
                m_reasonAt =
                    status.reason.empty()
                        ? at + line.size()
                        : at + static_cast<std::size_t>(status.reason.data() - line.data());
                m_reasonEnd = at + line.size();
            }
        }
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos) {
            m_statusLineField = m_statusLineField || m_lines == 1;
            m_fields.push_back(Span{at, at + colon, at + line.size()});
        }
    }

    // Indexes every line of block, calling each(line) on it first.
    template <class LineFn>
    void Read(std::string_view block, LineFn&& each) {
        Clear();
        ForEachHeaderLine(block, [&](std::string_view line) {
            each(line);
            AddLine(static_cast<std::size_t>(line.data() - block.data()), line);
        });
    }
    void Read(std::string_view block) {
        Read(block, [](std::string_view) {});
    }

  private:
    friend class HeadView;
    struct Span {
        std::size_t at;
        std::size_t colon;
        std::size_t end;
    };
    std::vector<Span> m_fields;
    std::size_t m_lines = 0;
    int m_status = 0;
    std::size_t m_codeAt = 0;
    std::size_t m_reasonAt = 0;
    std::size_t m_reasonEnd = 0;
    bool m_statusLineField = false;
};

// A head read through its index. The views it gives point into the block, which must stay
// as it is while they are used.
class HeadView {
  public:
    HeadView(std::string_view block, const HeadIndex& index) : m_block(block), m_index(&index) {}

    std::string_view Raw() const { return m_block; }
    // The status, 0 when the first line is no status line (StatusLine.h).
    int Status() const { return m_index->m_status; }
    // The three digits as received, and the reason phrase after them (possibly empty).
    std::string_view Code() const {
        return Status() != 0 ? m_block.substr(m_index->m_codeAt, 3) : std::string_view();
    }
    std::string_view Reason() const {
        return m_block.substr(m_index->m_reasonAt, m_index->m_reasonEnd - m_index->m_reasonAt);
    }

    // Every line with a colon, in order (see HeadIndex::AddLine).
    std::size_t FieldCount() const { return m_index->m_fields.size(); }
    HeaderField Field(std::size_t i) const {
        const HeadIndex::Span& span = m_index->m_fields[i];
        return {m_block.substr(span.at, span.colon - span.at),
                m_block.substr(span.colon + 1, span.end - span.colon - 1)};
    }

    // Calls field(name, value) for each header line after the status line that has a name,
    // the value without the blanks around it: the head as a reader shows it.
    template <class FieldFn>
    void ForEachHeader(FieldFn&& field) const {
        for (std::size_t i = m_index->m_statusLineField ? 1 : 0; i < FieldCount(); ++i) {
            const HeaderField each = Field(i);
            if (!each.name.empty()) {
                field(each.name, ascii::TrimBlanks(each.value));
            }
        }
    }
    // The first such value of that name (letter case ignored).
    std::optional<std::string_view> Header(std::string_view name) const {
        std::optional<std::string_view> found;
        ForEachHeader([&](std::string_view each, std::string_view value) {
            if (!found && ascii::EqualsNoCase(each, name)) {
                found = value;
            }
        });
        return found;
    }

    // Calls field(name, value) for each field that has a RecordedValue, in order: what the
    // fetchers' header lists record of the head.
    template <class FieldFn>
    void ForEachRecorded(FieldFn&& field) const {
        for (std::size_t i = 0; i < FieldCount(); ++i) {
            const HeaderField each = Field(i);
            if (const auto value = RecordedValue(each)) {
                field(each.name, *value);
            }
        }
    }

    // The value FindHeader gives for name (letter case ignored) once the head's fields are
    // recorded: the first field with a RecordedValue. None when there is no such field.
    std::optional<std::string_view> Find(std::string_view name) const {
        for (std::size_t i = 0; i < FieldCount(); ++i) {
            const HeaderField field = Field(i);
            if (ascii::EqualsNoCase(field.name, name)) {
                if (const auto value = RecordedValue(field)) {
                    return value;
                }
            }
        }
        return std::nullopt;
    }

  private:
    std::string_view m_block;
    const HeadIndex* m_index;
};

// A head kept whole: the block exactly as received and its index.
class ParsedHead {
  public:
    ParsedHead() = default;
    explicit ParsedHead(std::string raw) : m_raw(std::move(raw)) { m_index.Read(m_raw); }
    // Also calls each(line) on every line, so that a reader checks the lines in the same pass.
    template <class LineFn>
    ParsedHead(std::string raw, LineFn&& each) : m_raw(std::move(raw)) {
        m_index.Read(m_raw, each);
    }

    const std::string& Raw() const { return m_raw; }
    HeadView View() const { return {m_raw, m_index}; }
    const HeadIndex& Index() const { return m_index; }
    int Status() const { return View().Status(); }
    std::optional<std::string_view> Find(std::string_view name) const { return View().Find(name); }

  private:
    std::string m_raw;
    HeadIndex m_index;
};

}  // namespace RVUtil::http
