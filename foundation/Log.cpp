// The process-wide log. The file is opened and closed for every line, with other opens shut
// out while a line is written, so other processes (the upgrader, a viewer of the log) can read
// it between lines and writers never interleave. Within this process a lock keeps writers from
// contending for the file at all.
#include "foundation/Log.h"

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <new>

#include "platform/Clock.h"
#include "platform/Error.h"
#include "platform/File.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"

namespace {

constexpr int kOpenAttempts = 41;          // one try and 40 more, 50 ms apart: about 2 s
constexpr uint32_t kOpenRetryDelayMs = 50;
constexpr char kWarningMarker[] = "WARNING: ";

struct SLogState {
    std::atomic<unsigned> level{0};   // read without the lock to skip formatting early
    std::mutex lock;                  // guards the items below and serialises writers
    std::string path;
    uint64_t maxBytes = 0;
    bool console = false;
};
// Made on first use and kept until the very end of the process, so code may log while statics
// are built or destroyed.
SLogState& State()
{
    static SLogState* state = new SLogState;
    return *state;
}

// Opens the log file, retrying while another writer holds it. Other failures (a missing
// folder, no permission) give up at once rather than stall the caller on every line.
FILE* OpenLogFile(const char* mode, int& attemptsLeft)
{
    SLogState& g = State();
    while (attemptsLeft > 0) {
        --attemptsLeft;
        if (FILE* f = plat::OpenFile(g.path, mode, plat::Share::DenyAll))
            return f;
        if (plat::GetLastError() != plat::kErrorSharingViolation)
            return nullptr;
        if (attemptsLeft > 0)
            plat::Sleep(kOpenRetryDelayMs);
    }
    return nullptr;
}

// Cuts an over-long file to its newest part, starting at a line. Returns the file re-created
// and holding the kept text, or nullptr when it could not be re-created (the file then stays
// as it was).
FILE* TrimLogFile(FILE* f, uint64_t size, int& attemptsLeft)
{
    SLogState& g = State();
    const uint64_t keep = g.maxBytes - g.maxBytes / 3;
    std::string block(keep, '\0');
    size_t got = 0;
    if (std::fseek(f, static_cast<long>(size - keep), SEEK_SET) == 0)
        got = std::fread(block.data(), 1, block.size(), f);
    block.resize(got);

    const size_t lineBreak = block.find_first_of("\r\n");
    if (lineBreak == std::string::npos) {
        block.clear();
    } else {
        size_t start = lineBreak + 1;
        if (block[lineBreak] == '\r' && start < block.size() && block[start] == '\n')
            ++start;
        block.erase(0, start);
    }

    plat::CloseFile(f);
    f = OpenLogFile("wb", attemptsLeft);
    if (f && !block.empty())
        std::fwrite(block.data(), 1, block.size(), f);
    return f;
}

std::string LinePrefix()
{
    const int64_t seconds = plat::Clock().NowMicros() / 1000000;
    std::tm t{};
    plat::UtcToUtcTm(seconds, t);
    char prefix[96];
    std::snprintf(prefix, sizeof prefix, "%02d-%02d-%04d\t%02d:%02d:%02d\t%d\t%d\t", t.tm_mday,
                  t.tm_mon + 1, t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec,
                  static_cast<int>(plat::GetCurrentProcessId()),
                  static_cast<int>(plat::GetCurrentThreadId()));
    return prefix;
}

void WriteLine(const std::string& text, bool warning)
{
    SLogState& g = State();
    std::lock_guard<std::mutex> hold(g.lock);
    if (g.level.load() == 0)
        return;

    if (g.console) {
        std::string console = warning ? kWarningMarker + text : text;
        console += '\n';
        std::fwrite(console.data(), 1, console.size(), stderr);
    }
    if (g.path.empty())
        return;

    int attemptsLeft = kOpenAttempts;
    FILE* f = OpenLogFile("a+b", attemptsLeft);
    if (!f)
        return;
    if (std::fseek(f, 0, SEEK_END) == 0 && g.maxBytes != 0) {
        const long size = std::ftell(f);
        if (size > 0 && static_cast<uint64_t>(size) > g.maxBytes) {
            f = TrimLogFile(f, static_cast<uint64_t>(size), attemptsLeft);
            if (!f)
                return;
        }
    }

    const std::string prefix = LinePrefix();
    std::fwrite(prefix.data(), 1, prefix.size(), f);
    if (warning)
        std::fwrite(kWarningMarker, 1, sizeof kWarningMarker - 1, f);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fwrite("\r\n", 1, 2, f);
    plat::CloseFile(f);
}

// Formats and writes one line when the level allows it. A line that cannot get memory for its
// text is dropped.
void LogFormatted(unsigned minimumLevel, bool warning, const char* format, va_list args)
{
    SLogState& g = State();
    if (g.level.load() < minimumLevel)
        return;
    try {
        va_list measure;
        va_copy(measure, args);
        const int length = std::vsnprintf(nullptr, 0, format, measure);
        va_end(measure);
        if (length < 0)
            return;
        std::string text(static_cast<size_t>(length) + 1, '\0');
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(static_cast<size_t>(length));
        WriteLine(text, warning);
    } catch (const std::bad_alloc&) {
    }
}

}  // namespace

void InitLogging(const std::string& /*eventSource*/, const std::string& /*messageFile*/,
                 const std::string& filePath, unsigned level, bool showConsole)
{
    SLogState& g = State();
    {
        std::lock_guard<std::mutex> hold(g.lock);
        g.path = filePath;
        g.console = showConsole;
        g.level.store(level);
    }
    plat::SetMessageBoxLogHook([](const std::string& line) { LogInfo("%s", line.c_str()); });
}

void SetMaxLogSize(unsigned kilobytes)
{
    SLogState& g = State();
    std::lock_guard<std::mutex> hold(g.lock);
    g.maxBytes = static_cast<uint64_t>(kilobytes & 0xFFFFFFu) * 1024;
}

void ToggleConsole()
{
    SLogState& g = State();
    std::lock_guard<std::mutex> hold(g.lock);
    g.console = !g.console;
}

#define QVL_LOG_BODY(minimumLevel, warning)                       \
    va_list args;                                                 \
    va_start(args, format);                                       \
    LogFormatted(minimumLevel, warning, format, args);            \
    va_end(args)

void LogInfo(const char* format, ...) { QVL_LOG_BODY(1, false); }
void LogDetail(const char* format, ...) { QVL_LOG_BODY(2, false); }
void LogTrace(const char* format, ...) { QVL_LOG_BODY(3, false); }
void LogWarning(const char* format, ...) { QVL_LOG_BODY(1, true); }

#undef QVL_LOG_BODY
