#include "foundation/Exceptions.h"

#include "platform/Error.h"

#include <iterator>

namespace {

const char* TextOr(const std::string& strText, int nCode)
{
    return strText.empty() ? CBaseException::GetCodeText(nCode) : strText.c_str();
}

std::string Trim(const std::string& s)
{
    const char* kSpace = " \t\r\n\v\f";
    size_t nFirst = s.find_first_not_of(kSpace);
    if (nFirst == std::string::npos)
        return {};
    return s.substr(nFirst, s.find_last_not_of(kSpace) - nFirst + 1);
}

}  // namespace

void CBaseException::Delete()
{
    delete this;
}

const char* CBaseException::GetText() const
{
    return GetCodeText(m_nCode);
}

const char* CBaseException::GetCodeText(int nCode)
{
    static const char* const kTexts[] = {
        "Out of memory",          // 0
        "Open failed",            // 1
        "IO failure",             // 2
        "Data format error",      // 3
        "Unknown error",          // 4
        "Unknown error",          // 5
        "Connection failure",     // 6
        "Request Failure",        // 7
        "Unknown user identification code",  // 8
        "Internal Error",         // 9
        "Initialisation Failure", // 10
        "Invalid function call",  // 11
        "Operation Cancelled",    // 12
        "Data access error",      // 13
        "Not found",              // 14
    };
    if (nCode < 0 || nCode >= static_cast<int>(std::size(kTexts)))
        return "Unknown error";
    return kTexts[nCode];
}

const char* CExtraInfoException::GetText() const { return TextOr(m_strText, m_nCode); }
const char* CFileStoreException::GetText() const { return TextOr(m_strText, m_nCode); }
const char* CFileStoreLockedException::GetText() const { return TextOr(m_strText, m_nCode); }
const char* CCompressedFileException::GetText() const { return TextOr(m_strText, m_nCode); }

CLastErrorException::CLastErrorException(int nCode, int nSystemError)
    : CExtraInfoException(nCode, FormatLastError(nSystemError))
{
}

std::string FormatLastError(int nSystemError)
{
    if (nSystemError == 0)
        nSystemError = plat::GetLastError();
    std::string strMessage = plat::SystemErrorMessage(nSystemError);
    if (Trim(strMessage).empty())
        return "Unknown error";
    return Trim("(" + std::to_string(nSystemError) + ") " + strMessage);
}
