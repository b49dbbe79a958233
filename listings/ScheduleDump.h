// A readable account of a channel schedule file (header, index and, when asked, each decoded
// record) for a maintainer looking into a channel that shows wrong listings.
#pragma once
#include <string>

// Appends the account to strOut. False when the file cannot be read or its layout does not
// hold together (strOut then ends with the reason).
bool DumpScheduleFile(const std::string& strPath, bool bRecords, std::string& strOut);
