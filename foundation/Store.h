// Byte stores: the one interface through which the binary files of the program are read and
// written, plus the open flags of the file stores.
#pragma once
#include <cstdint>

// Open flags of CFileStore, CFileStoreLocked and CCompressedFile.
enum : uint32_t {
    storeRead = 0x01,    // open for reading
    storeWrite = 0x02,   // create or truncate for writing
    storeAppend = 0x08,  // open for appending (reading allowed)
    storeCreate = 0x10,  // as storeWrite
    storeText = 0x40,    // text mode (no different from binary here)
    storeBinary = 0x80,  // binary mode, the default
};

class CStore {
public:
    // Reads up to nLength bytes; returns the count read. File stores deliver all or throw.
    virtual uint32_t Read(void* pBuffer, uint32_t nLength) = 0;
    virtual void Write(const void* pBuffer, uint32_t nLength) = 0;
    virtual bool IsEOF() = 0;
    // The 4-byte little-endian version word of a versioned format. It is read from the current
    // position when bReread is set or nothing has been cached yet.
    virtual uint32_t GetVersion(bool bReread = false);
    // Caches the version word and writes it at the current position.
    virtual void SetVersion(uint32_t uVersion);
    virtual ~CStore() = default;

protected:
    uint32_t m_uVersion = 0;
};
