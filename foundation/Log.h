// The process-wide diagnostic log: one text file trimmed past a size limit, numbered verbosity
// levels, and an optional live copy of every line on standard error. Any thread may log.
#pragma once
#include <string>

// A log call whose format is a variable and that has no arguments, LogInfo(text), is how outside
// text becomes a format: warn about it wherever the log is used.
#pragma GCC diagnostic warning "-Wformat-security"

// Sets up logging for the process. Lines written before this call are dropped.
//   eventSource, messageFile: the system event-log registration; accepted and ignored here.
//   filePath: the log file; empty means no file.
//   level: 0 writes nothing, 1 info and warnings, 2 adds detail, 3 adds trace.
//   showConsole: also copy each line to standard error.
// Also routes the texts of message boxes shown without a display into the log.
void InitLogging(const std::string& eventSource, const std::string& messageFile,
                 const std::string& filePath, unsigned level, bool showConsole);

// The file limit in KiB (low 24 bits used); 0 means no limit. Past the limit the file is cut to
// its newest two thirds, starting at a line, before the next line is written.
void SetMaxLogSize(unsigned kilobytes);

// Shows or hides the copy of log lines on standard error.
void ToggleConsole();

// printf-style writers. Never hand outside text over as the format: LogInfo("%s", text).
void LogInfo(const char* format, ...) __attribute__((format(printf, 1, 2)));      // level >= 1
void LogDetail(const char* format, ...) __attribute__((format(printf, 1, 2)));    // level >= 2
void LogTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));     // level >= 3
void LogWarning(const char* format, ...) __attribute__((format(printf, 1, 2)));   // level >= 1
