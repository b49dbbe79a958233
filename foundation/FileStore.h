// Stores over files: CFileStore for plain access and CFileStoreLocked for files that several
// threads or processes use at once, kept apart by share modes (a reader shuts out writers, a
// writer shuts out everybody). Both open through the platform layer, close-on-exec.
#pragma once
#include <cstdio>
#include <string>

#include "foundation/Store.h"

// What the two file stores share: a C stream over a file. Offsets and lengths are 32-bit.
class CStreamFileStore : public CStore {
public:
    // Reads exactly nLength bytes or throws (code 2); a length of 0 reads nothing.
    uint32_t Read(void* pBuffer, uint32_t nLength) override;
    void Write(const void* pBuffer, uint32_t nLength) override;
    bool IsEOF() override;
    virtual uint32_t GetLength();

    // Closes any open file, then opens path with the flags (storeRead, storeWrite, ...).
    void Open(const std::string& strPath, uint32_t nFlags);
    // Flushes and closes; throws (code 2) when buffered data could not be written, so writers
    // should call it rather than leave it to the destructor, which ignores failures.
    void Close();
    bool IsOpen() const { return m_pFile != nullptr; }
    uint32_t GetPosition();
    void SetPosition(uint32_t nOffset);

    CStreamFileStore(const CStreamFileStore&) = delete;
    CStreamFileStore& operator=(const CStreamFileStore&) = delete;
    ~CStreamFileStore() override;

    // The C stream mode for a flag set: "rb", "wb", "r+b", "a+b", or with "t" for storeText.
    static std::string ModeForFlags(uint32_t nFlags);

protected:
    explicit CStreamFileStore(bool bLocked) : m_bLocked(bLocked) {}

private:
    [[noreturn]] void Fail(int nCode, std::string strText) const;
    [[noreturn]] void FailWithErrno(int nCode, int nErrno) const;
    FILE* Stream() const;

    FILE* m_pFile = nullptr;
    const bool m_bLocked;
};

// Plain file store; failures are CFileStoreException.
class CFileStore : public CStreamFileStore {
public:
    CFileStore() : CStreamFileStore(false) {}
    CFileStore(const std::string& strPath, uint32_t nFlags) : CStreamFileStore(false)
    {
        Open(strPath, nFlags);
    }
};

// File store with share modes: opened for reading it denies writing to others, opened in any
// other way it denies all other opens. A conflicting open fails at once with code 1. Failures
// are CFileStoreLockedException.
class CFileStoreLocked : public CStreamFileStore {
public:
    CFileStoreLocked() : CStreamFileStore(true) {}
    CFileStoreLocked(const std::string& strPath, uint32_t nFlags) : CStreamFileStore(true)
    {
        Open(strPath, nFlags);
    }
};
