#include "RVUtil/SplitMerge.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string_view>

#include "RVUtil/AfxException.h"
#include "RVUtil/CRVMemBuffer.h"

namespace RVUtil {

namespace {

// Containers and strings report exhaustion with std::bad_alloc; hosts of these functions
// expect the framework's out-of-memory exception instead.
template <class Body>
decltype(auto) RaisingFrameworkExceptions(Body&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        AfxThrowMemoryException();
    } catch (const std::length_error&) {
        AfxThrowMemoryException();
    }
}

// The split's scratch copy of the source, cut in place: each delimiter is overwritten
// with a zero byte so that every field is a zero-terminated string of its own.
class SplitScratch : public CRVMemBuffer {
  public:
    // Sized to hold the whole source and its terminator, so copying it never grows; only
    // the text before the source's first zero byte is copied.
    explicit SplitScratch(const CString& src)
        : CRVMemBuffer(static_cast<UINT>(src.GetLength()) + 10, 256) {
        Write(src.GetString(), -1);
        GetData();
    }

    // Calls add(field, length) for each field in order. A zero delimiter would never be
    // found before the terminator, so the whole text is then the one field.
    template <class Add>
    void ForEachField(char delim, bool keepEmpty, Add&& add) {
        RaisingFrameworkExceptions([&] {
            char* start = m_pData;
            char* const end = m_pData + m_nSize;
            if (delim != '\0') {
                for (char* hit; (hit = static_cast<char*>(std::memchr(start, delim, end - start)));
                     start = hit + 1) {
                    *hit = '\0';
                    if (hit != start || keepEmpty) {
                        add(start, static_cast<int>(hit - start));
                    }
                }
            }
            // An empty last field is never added, whatever keepEmpty says.
            if (start != end) {
                add(start, static_cast<int>(end - start));
            }
        });
    }
};

// Joins count texts produced by forEach(emit) with delim between them.
template <class ForEach>
CString MergeFrom(INT_PTR count, char delim, ForEach&& forEach) {
    if (count < 1) {
        return CString();
    }
    CRVMemBuffer scratch(256, 32);
    return RaisingFrameworkExceptions([&] {
        INT_PTR written = 0;
        forEach([&](const char* text) {
            scratch.Write(text, -1);  // up to the element's first zero byte
            if (++written < count) {
                scratch.Write(delim);
            }
        });
        return CString(scratch.GetData());
    });
}

}  // namespace

// Each split copies the source before it empties the container, so a failure to get the
// scratch block leaves the container as it was.
void RVUtil_gfnSplit(const CString& src, std::vector<CString>& vec, char delim, int bKeepEmpty) {
    SplitScratch scratch(src);
    vec.clear();
    scratch.ForEachField(delim, bKeepEmpty != 0, [&](const char* field, int length) {
        vec.emplace_back(std::string_view(field, length));
    });
}

void RVUtil_gfnSplit(const CString& src, CStringArray& arr, char delim) {
    SplitScratch scratch(src);
    arr.SetSize(0);
    scratch.ForEachField(delim, false, [&](const char* field, int length) {
        arr.Add(CString(std::string_view(field, length)));
    });
}

void RVUtil_gfnSplit(const CString& src, CStringList& list, char delim) {
    SplitScratch scratch(src);
    list.RemoveAll();
    scratch.ForEachField(delim, false, [&](const char* field, int length) {
        list.AddTail(CString(std::string_view(field, length)));
    });
}

void RVUtil_gfnSplit(const CString& src, CUIntArray& arr, char delim) {
    SplitScratch scratch(src);
    arr.SetSize(0);
    scratch.ForEachField(delim, false, [&](const char* field, int /*length*/) {
        // What the C runtime's atoi does here: strtol's value cut to 32 bits (strtol
        // itself, unlike atoi, has a defined result for out-of-range text), so -1 is kept
        // as 4294967295 and 4294967295 written as text reads back unchanged.
        arr.Add(static_cast<UINT>(std::strtol(field, nullptr, 10)));
    });
}

CString RVUtil_gfnMerge(std::vector<CString>& vec, char delim) {
    return MergeFrom(static_cast<INT_PTR>(vec.size()), delim, [&](auto emit) {
        for (const CString& item : vec) {
            emit(item.GetString());
        }
    });
}

CString RVUtil_gfnMerge(CStringArray& arr, char delim) {
    return MergeFrom(arr.GetSize(), delim, [&](auto emit) {
        for (INT_PTR i = 0; i < arr.GetSize(); ++i) {
            emit(arr[i].GetString());
        }
    });
}

CString RVUtil_gfnMerge(CStringList& list, char delim) {
    return MergeFrom(list.GetCount(), delim, [&](auto emit) {
        for (POSITION pos = list.GetHeadPosition(); pos != nullptr;) {
            emit(list.GetNext(pos).GetString());
        }
    });
}

CString RVUtil_gfnMerge(CUIntArray& arr, char delim) {
    return MergeFrom(arr.GetSize(), delim, [&](auto emit) {
        for (INT_PTR i = 0; i < arr.GetSize(); ++i) {
            char text[16];
            // Signed on purpose: values above 2147483647 come out as negative numbers.
            std::snprintf(text, sizeof text, "%d", static_cast<int>(arr[i]));
            emit(text);
        }
    });
}

}  // namespace RVUtil
