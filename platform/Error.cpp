// The per-thread last error and the system's texts for error numbers.
#include "platform/Error.h"

#include <cerrno>
#include <cstring>

namespace plat {

namespace {
thread_local int t_lastError = 0;
}

int GetLastError() { return t_lastError; }
void SetLastError(int error) { t_lastError = error; }
void SetLastErrorFromErrno() { t_lastError = errno; }

std::string SystemErrorMessage(int error)
{
    if (error <= 0)
        return {};
    const char* name = strerrorname_np(error);   // null for numbers the system does not know
    if (!name)
        return {};
    char buffer[256];
    return strerror_r(error, buffer, sizeof buffer);
}

}  // namespace plat
