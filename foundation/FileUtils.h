// File utilities of the updater and the upgrader: replacing copies and moves, whole-file reads
// and writes, file times, checksums, gzip compression of whole files and folder chains. They
// return false on failure; plat::GetLastError (FormatLastError) then tells why where the
// system said so.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/CRC.h"
#include "platform/File.h"

bool FileExists(const std::string& strPath);

// Both replace an existing target only once its replacement is complete (through a temporary
// file beside it and a rename); a failure leaves the target as it was. A read-only target is
// replaced, except by a copy with bKeepAttributes set, which then fails.
bool CopyFileReplacing(const std::string& strFrom, const std::string& strTo, bool bKeepAttributes = false);
bool MoveFileReplacing(const std::string& strFrom, const std::string& strTo);

// The whole file, in binary. False when it cannot be opened or read in full, or passes 1 GiB.
bool ReadWholeFile(const std::string& strPath, std::string& strOut);
bool ReadWholeFile(const std::string& strPath, std::vector<uint8_t>& out);
// Writes the text as it is, replacing the file only once the new one is complete.
bool WriteTextFile(const std::string& strPath, const std::string& strText);

// The three file times, 100 ns units since 1601. Linux cannot set a creation time; it is ignored.
bool GetFileTimes(const std::string& strPath, plat::FileTime& creation, plat::FileTime& lastAccess,
                  plat::FileTime& lastWrite);
bool SetFileTimes(const std::string& strPath, plat::FileTime creation, plat::FileTime lastAccess,
                  plat::FileTime lastWrite);

// CalculateCRC of the whole file.
bool GetFileCRC(const std::string& strPath, uint32_t& uCRC);

// Gzip (level 9) a plain file, in place or to another path, keeping its times. The target is
// replaced only once complete; the source of the two-path form is kept.
bool CompressFile(const std::string& strPath);
bool CompressFile(const std::string& strFrom, const std::string& strTo);
// Turns a gzip file into a plain file with the same times. An empty strTo means in place.
// When the paths differ the source is deleted after success; after a failure it stays, and the
// target is left as it was. Output beyond kMaxDecompressedSize fails.
inline constexpr uint64_t kMaxDecompressedSize = 512ull << 20;
bool DecompressFile(const std::string& strFrom, const std::string& strTo = {});

// Creates every missing folder of the path; false at the first that cannot be made.
bool CreateFolderChain(const std::string& strPath);
