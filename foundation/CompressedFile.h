// A gzip file (level 9, as zlib's gz functions write it) read or written as a store.
#pragma once
#include <memory>
#include <string>

#include "foundation/Store.h"

struct gzFile_s;

class CCompressedFile : public CStore {
public:
    // Opens for writing when storeWrite is set without storeRead, otherwise for reading.
    // Failure: CCompressedFileException code 1 "Failed to open file '<path>'".
    CCompressedFile(const std::string& strPath, uint32_t nFlags);
    CCompressedFile(const CCompressedFile&) = delete;
    CCompressedFile& operator=(const CCompressedFile&) = delete;
    ~CCompressedFile() override;

    // The count of decompressed bytes delivered, 0 at the end. Damaged data, a stream that
    // stops before its end included, throws code 2. Concatenated gzip members are read one
    // after another; a file that is not gzip at all is delivered as it is.
    uint32_t Read(void* pBuffer, uint32_t nLength) override;
    // Compresses the bytes; a call that stores nothing (a length of 0 included) throws code 2.
    void Write(const void* pBuffer, uint32_t nLength) override;
    bool IsEOF() override;
    // Closes the file; throws code 2 when the compressed data could not be written out.
    // The destructor closes too but ignores failures.
    void Close();

private:
    struct CReader;
    [[noreturn]] void Fail(int nCode, const std::string& strText) const;
    [[noreturn]] void FailWithWriteError() const;

    gzFile_s* m_pWriter = nullptr;
    std::unique_ptr<CReader> m_pReader;
    std::string m_strPath;
};
