// The exception classes of the foundation. They are thrown by pointer and the catcher owns them:
//     try { ... } catch (CBaseException* e) { LogWarning("... because %s", e->GetText()); e->Delete(); }
#pragma once
#include <string>
#include <utility>

// The root: an error code whose text comes from a fixed table.
//   0 "Out of memory", 1 "Open failed", 2 "IO failure", 3 "Data format error",
//   6 "Connection failure", 7 "Request Failure", 8 "Unknown user identification code",
//   9 "Internal Error", 10 "Initialisation Failure", 11 "Invalid function call",
//   12 "Operation Cancelled", 13 "Data access error", 14 "Not found", others "Unknown error".
class CBaseException {
public:
    explicit CBaseException(int nCode) : m_nCode(nCode) {}

    virtual void Delete();                    // destroys the object
    virtual const char* GetText() const;      // valid until Delete
    virtual ~CBaseException() = default;

    static const char* GetCodeText(int nCode);

    int m_nCode = 0;
};

// A code with a text of its own; the code text stands in while the text is empty.
class CExtraInfoException : public CBaseException {
public:
    CExtraInfoException(int nCode, std::string strText)
        : CBaseException(nCode), m_strText(std::move(strText)) {}
    const char* GetText() const override;

    std::string m_strText;
};

// A code with the text of a system error number (0: the calling thread's last error).
class CLastErrorException : public CExtraInfoException {
public:
    explicit CLastErrorException(int nCode, int nSystemError = 0);
};

// Failures of CFileStore.
class CFileStoreException : public CBaseException {
public:
    CFileStoreException(int nCode, std::string strText)
        : CBaseException(nCode), m_strText(std::move(strText)) {}
    const char* GetText() const override;

    std::string m_strText;
};

// Failures of CFileStoreLocked. Deliberately not a CFileStoreException: callers that retry
// while another user holds a file catch this class on its own.
class CFileStoreLockedException : public CBaseException {
public:
    CFileStoreLockedException(int nCode, std::string strText)
        : CBaseException(nCode), m_strText(std::move(strText)) {}
    const char* GetText() const override;

    std::string m_strText;
};

// Failures of CCompressedFile.
class CCompressedFileException : public CBaseException {
public:
    CCompressedFileException(int nCode, std::string strText)
        : CBaseException(nCode), m_strText(std::move(strText)) {}
    const char* GetText() const override;

    std::string m_strText;
};

// "(%d) %s" with the number and the system's message for it, trimmed; "Unknown error" when the
// system has no message. A number of 0 stands for the calling thread's last error.
std::string FormatLastError(int nSystemError = 0);
