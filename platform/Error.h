// The per-thread "last error" of system calls, kept as errno values, and its text.
#pragma once
#include <string>

namespace plat {

int GetLastError();             // the calling thread's last system error number
void SetLastError(int error);   // errno-valued
void SetLastErrorFromErrno();   // copies errno into the last error

// The system's message for an error number, or an empty text when it has none.
std::string SystemErrorMessage(int error);

}  // namespace plat
