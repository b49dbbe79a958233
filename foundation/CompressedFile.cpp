#include "foundation/CompressedFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>
#include <zlib.h>

#include "foundation/Exceptions.h"
#include "platform/Error.h"
#include "platform/File.h"

// Reading runs inflate over the file itself rather than gzread: gzread takes a stream that
// stops short for one still being written and, depending on where it stops, ends without
// any error, which would pass a cut download off as complete.
struct CCompressedFile::CReader {
    enum class State { Start, Member, BetweenMembers, Raw, End };

    FILE* pFile = nullptr;
    z_stream strm{};
    bool bInflateReady = false;
    State state = State::Start;
    std::vector<uint8_t> input = std::vector<uint8_t>(64 * 1024);

    ~CReader()
    {
        if (bInflateReady)
            inflateEnd(&strm);
        if (pFile)
            plat::CloseFile(pFile);
    }

    // Tops the input up to at least nWant bytes where the file has them; false on a read error.
    bool Fill(size_t nWant)
    {
        if (strm.avail_in >= nWant)
            return true;
        if (strm.avail_in)
            std::memmove(input.data(), strm.next_in, strm.avail_in);
        strm.next_in = input.data();
        while (strm.avail_in < nWant) {
            size_t n = std::fread(input.data() + strm.avail_in, 1, input.size() - strm.avail_in, pFile);
            if (n == 0)
                return !std::ferror(pFile);
            strm.avail_in += static_cast<uInt>(n);
        }
        return true;
    }

    bool AtGzipHeader() const
    {
        return strm.avail_in >= 2 && strm.next_in[0] == 0x1F && strm.next_in[1] == 0x8B;
    }
};

namespace {
// zlib's gz calls count in int: hand them at most this much at a time.
constexpr uint32_t kMaxPiece = 1u << 30;
}

CCompressedFile::CCompressedFile(const std::string& strPath, uint32_t nFlags) : m_strPath(strPath)
{
    if ((nFlags & storeWrite) && !(nFlags & storeRead)) {
        m_pWriter = gzopen(strPath.c_str(), "wb9e");   // "e": close-on-exec
        if (!m_pWriter)
            Fail(1, "Failed to open file '" + strPath + "'");
        return;
    }
    m_pReader = std::make_unique<CReader>();
    m_pReader->pFile = plat::OpenFile(strPath, "rb");
    if (!m_pReader->pFile || inflateInit2(&m_pReader->strm, 15 + 16) != Z_OK) {
        m_pReader.reset();
        Fail(1, "Failed to open file '" + strPath + "'");
    }
    m_pReader->bInflateReady = true;
}

CCompressedFile::~CCompressedFile()
{
    if (m_pWriter)
        gzclose(m_pWriter);
}

uint32_t CCompressedFile::Read(void* pBuffer, uint32_t nLength)
{
    if (!m_pReader)
        Fail(2, "The file '" + m_strPath + "' is not open for reading");
    CReader& r = *m_pReader;
    z_stream& strm = r.strm;
    strm.next_out = static_cast<Bytef*>(pBuffer);
    strm.avail_out = nLength;
    auto readFailed = [&] { Fail(2, plat::SystemErrorMessage(errno)); };

    while (strm.avail_out > 0 && r.state != CReader::State::End) {
        if (r.state == CReader::State::Start || r.state == CReader::State::BetweenMembers) {
            if (!r.Fill(2))
                readFailed();
            if (r.AtGzipHeader())
                r.state = CReader::State::Member;
            else if (r.state == CReader::State::Start && strm.avail_in > 0)
                r.state = CReader::State::Raw;   // not gzip: as zlib's gz functions, pass it through
            else
                r.state = CReader::State::End;   // whatever follows the last member is ignored
            continue;
        }
        if (strm.avail_in == 0 && !r.Fill(1))
            readFailed();
        if (r.state == CReader::State::Raw) {
            if (strm.avail_in == 0) {
                r.state = CReader::State::End;
                continue;
            }
            uInt n = std::min(strm.avail_in, strm.avail_out);
            std::memcpy(strm.next_out, strm.next_in, n);
            strm.next_in += n, strm.avail_in -= n;
            strm.next_out += n, strm.avail_out -= n;
            continue;
        }
        if (strm.avail_in == 0)
            Fail(2, "unexpected end of file");
        int nResult = inflate(&strm, Z_NO_FLUSH);
        if (nResult == Z_STREAM_END) {
            inflateReset(&strm);
            r.state = CReader::State::BetweenMembers;
        } else if (nResult != Z_OK && nResult != Z_BUF_ERROR) {
            Fail(2, strm.msg ? strm.msg : zError(nResult));
        }
    }
    uint32_t nDone = nLength - strm.avail_out;
    strm.next_out = nullptr;
    strm.avail_out = 0;
    return nDone;
}

void CCompressedFile::Write(const void* pBuffer, uint32_t nLength)
{
    if (!m_pWriter)
        Fail(2, "The file '" + m_strPath + "' is not open for writing");
    if (nLength == 0)   // stores nothing: a failure like any other
        FailWithWriteError();
    auto* p = static_cast<const uint8_t*>(pBuffer);
    for (uint32_t nDone = 0; nDone < nLength;) {
        int n = gzwrite(m_pWriter, p + nDone, std::min(nLength - nDone, kMaxPiece));
        if (n <= 0)
            FailWithWriteError();
        nDone += static_cast<uint32_t>(n);
    }
}

bool CCompressedFile::IsEOF()
{
    if (m_pWriter)
        return gzeof(m_pWriter) != 0;
    return !m_pReader || m_pReader->state == CReader::State::End;
}

void CCompressedFile::Close()
{
    m_pReader.reset();
    if (!m_pWriter)
        return;
    errno = 0;
    int nResult = gzclose(m_pWriter);
    m_pWriter = nullptr;
    if (nResult != Z_OK) {
        std::string strReason = nResult == Z_ERRNO && errno ? plat::SystemErrorMessage(errno)
                                                            : std::string(zError(nResult));
        Fail(2, "Failed to close file '" + m_strPath + "': " + strReason);
    }
}

void CCompressedFile::Fail(int nCode, const std::string& strText) const
{
    throw new CCompressedFileException(nCode, strText);
}

void CCompressedFile::FailWithWriteError() const
{
    int nError = Z_OK;
    const char* pText = gzerror(m_pWriter, &nError);
    Fail(2, pText ? pText : "");
}
