#include "script/theme/ZipFiles.h"

#include <cstdio>

#include "platform/File.h"

namespace {

voidpf ZCALLBACK OpenZip(voidpf, const void* pPath, int nMode)
{
    if (!pPath)
        return nullptr;
    const char* mode = "rb";
    plat::Share share = plat::Share::DenyWrite;
    if ((nMode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) {
        mode = (nMode & ZLIB_FILEFUNC_MODE_EXISTING) ? "r+b" : "wb";
        share = plat::Share::DenyAll;
    }
    return plat::OpenFile(static_cast<const char*>(pPath), mode, share);
}

uLong ZCALLBACK ReadZip(voidpf, voidpf pStream, void* pBuffer, uLong nSize)
{
    return static_cast<uLong>(std::fread(pBuffer, 1, nSize, static_cast<FILE*>(pStream)));
}

uLong ZCALLBACK WriteZip(voidpf, voidpf pStream, const void* pBuffer, uLong nSize)
{
    return static_cast<uLong>(std::fwrite(pBuffer, 1, nSize, static_cast<FILE*>(pStream)));
}

ZPOS64_T ZCALLBACK TellZip(voidpf, voidpf pStream)
{
    const off_t position = ftello(static_cast<FILE*>(pStream));
    return position < 0 ? static_cast<ZPOS64_T>(-1) : static_cast<ZPOS64_T>(position);
}

long ZCALLBACK SeekZip(voidpf, voidpf pStream, ZPOS64_T nOffset, int nOrigin)
{
    int whence = SEEK_SET;
    if (nOrigin == ZLIB_FILEFUNC_SEEK_CUR)
        whence = SEEK_CUR;
    else if (nOrigin == ZLIB_FILEFUNC_SEEK_END)
        whence = SEEK_END;
    else if (nOrigin != ZLIB_FILEFUNC_SEEK_SET)
        return -1;
    return fseeko(static_cast<FILE*>(pStream), static_cast<off_t>(nOffset), whence) == 0 ? 0 : -1;
}

int ZCALLBACK CloseZip(voidpf, voidpf pStream)
{
    return plat::CloseFile(static_cast<FILE*>(pStream)) ? 0 : EOF;
}

int ZCALLBACK ErrorZip(voidpf, voidpf pStream)
{
    return std::ferror(static_cast<FILE*>(pStream));
}

}  // namespace

void FillPlatformZipFunctions(zlib_filefunc64_def& functions)
{
    functions.zopen64_file = OpenZip;
    functions.zread_file = ReadZip;
    functions.zwrite_file = WriteZip;
    functions.ztell64_file = TellZip;
    functions.zseek64_file = SeekZip;
    functions.zclose_file = CloseZip;
    functions.zerror_file = ErrorZip;
    functions.opaque = nullptr;
}
