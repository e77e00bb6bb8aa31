#pragma once

#include "RVUtil/CObject.h"
#include "RVUtil/Export.h"
#include "RVUtil/WinTypes.h"

// The framework's exceptions are thrown as pointers, as hosts written against it expect
// (`catch (CException* e) { ...; e->Delete(); }`). The two thrown here are process-wide
// instances that Delete leaves alone, so a handler that forgets Delete leaks nothing and
// throwing never needs memory.
class RVUTIL_API CException : public CObject {
  public:
    explicit CException(BOOL autoDelete = TRUE) : m_bAutoDelete(autoDelete) {}
    ~CException() override;

    // Releases a heap-allocated exception; a no-op for the process-wide ones.
    void Delete();
    // Copies the exception's text, cut to fit, into error; TRUE when there is a text.
    virtual BOOL GetErrorMessage(char* error, UINT maxError, UINT* helpContext = nullptr) const;

  protected:
    BOOL m_bAutoDelete;
};

class RVUTIL_API CSimpleException : public CException {
  public:
    explicit CSimpleException(const char* message) : CException(FALSE), m_message(message) {}
    BOOL GetErrorMessage(char* error, UINT maxError, UINT* helpContext = nullptr) const override;

  private:
    const char* m_message;
};

class RVUTIL_API CMemoryException : public CSimpleException {
  public:
    CMemoryException() : CSimpleException("Out of memory.") {}
};

class RVUTIL_API CInvalidArgException : public CSimpleException {
  public:
    CInvalidArgException() : CSimpleException("Invalid argument.") {}
};

[[noreturn]] RVUTIL_API void AfxThrowMemoryException();
[[noreturn]] RVUTIL_API void AfxThrowInvalidArgException();
