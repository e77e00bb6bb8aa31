#include "RVUtil/AfxException.h"

#include <algorithm>
#include <cstring>

CObject::~CObject() = default;
CException::~CException() = default;

void CException::Delete() {
    if (m_bAutoDelete) {
        delete this;
    }
}

BOOL CException::GetErrorMessage(char* error, UINT maxError, UINT* helpContext) const {
    if (helpContext != nullptr) {
        *helpContext = 0;
    }
    if (error != nullptr && maxError > 0) {
        error[0] = '\0';
    }
    return FALSE;
}

BOOL CSimpleException::GetErrorMessage(char* error, UINT maxError, UINT* helpContext) const {
    if (helpContext != nullptr) {
        *helpContext = 0;
    }
    if (error == nullptr || maxError == 0) {
        return FALSE;
    }
    const std::size_t n = std::min<std::size_t>(std::strlen(m_message), maxError - 1);
    std::memcpy(error, m_message, n);
    error[n] = '\0';
    return TRUE;
}

void AfxThrowMemoryException() {
    static CMemoryException instance;
    throw &instance;
}

void AfxThrowInvalidArgException() {
    static CInvalidArgException instance;
    throw &instance;
}
