// The background absorber: takes listings update files from the pending folder on a thread of
// its own, decodes each into channel plans and has the database merge them into the schedule
// files, so that the user interface stays live while listings are absorbed.
//
// What it guarantees:
//   - files are dealt with one at a time, each once, in the order they were handed over;
//     those still queued when Close comes stay on disk for the next start-up pass;
//   - an update file is deleted once its plans are merged, or once it proved unreadable; a
//     "QVFCDF" marker is deleted once the cached span is forgotten; any other file is never
//     touched;
//   - nothing is absorbed after Close has returned, and Close returns only once the file in
//     hand is finished, so a schedule file is never left half merged by a stopping program.
//
// Invariants:
//   1. At most one worker thread exists, made by the first AbsorbNewFile and joined by Close.
//   2. The queue and the path in hand change only under m_lock; the worker never holds m_lock
//      while it decodes or merges.
//   3. Once the abort event is set it stays set, and AbsorbNewFile queues nothing more.
//   4. A path is in the queue or in hand, never both; IsBusy is true while either is non-empty.
//   5. The unique lists are saved after every wake-up that absorbed something, and the shared
//      instances dropped, so that their next user reads what was saved.
//   6. The listings-absorbed notification goes out only after a quiet period that follows
//      absorbing, and never when the database was empty when the worker started.
//
// States, and the function that moves between them:
//
//                  AbsorbNewFile                 AbsorbNewFile (work event)
//   NO THREAD --------------------> WAITING -------------------------------> ABSORBING
//       |                            |  ^  ^                                     |
//       |                  time-out  |  |  |   GetNextFile finds the queue empty |
//       |  NotifyListingsAbsorbed,   |  |  +-------------------------------------+
//       |  when files came in since  +--+        (unique lists saved and dropped)
//       |
//       +---- Close --------------> CLOSED <---- Close, from WAITING at once, from
//                                               ABSORBING after the file in hand
#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "platform/Sync.h"

class CProgrammeDBFlat;
class CUniquePersonList;
class CUniqueProgrammeList;

class CProgrammesDatabaseBackgroundProcess {
public:
    explicit CProgrammesDatabaseBackgroundProcess(CProgrammeDBFlat& database) : m_database(database) {}
    ~CProgrammesDatabaseBackgroundProcess() { Close(); }
    CProgrammesDatabaseBackgroundProcess(const CProgrammesDatabaseBackgroundProcess&) = delete;
    CProgrammesDatabaseBackgroundProcess& operator=(const CProgrammesDatabaseBackgroundProcess&) = delete;

    // Queues the file and wakes the worker, starting it when there is none.
    void AbsorbNewFile(const std::string& strPath);
    // Stops the worker after the file in hand and waits for it.
    void Close();
    // Whether the path waits or is in hand (compared without regard to case).
    bool IsQueued(const std::string& strPath) const;
    bool IsBusy() const;
    // How long the worker waits for more files before it reports new listings.
    void SetQuietPeriod(uint32_t uMilliseconds) { m_uQuietPeriod = uMilliseconds; }

private:
    void Run();
    // Moves the first queued path into m_strInHand; false when there is none or on abort.
    bool GetNextFile(std::string& strPath);
    void ProcessFile(const std::string& strPath, CUniqueProgrammeList& programmes, CUniquePersonList& people);
    void FinishFile(const std::string& strPath, const std::string& strResult);
    bool Aborted() const;

    CProgrammeDBFlat& m_database;
    plat::Event m_work{false};
    plat::Event m_abort{true};
    std::unique_ptr<plat::Thread> m_pThread;
    std::mutex m_threadLock;   // the thread's creation and joining
    mutable std::mutex m_lock;
    std::deque<std::string> m_queue;
    std::string m_strInHand;
    int m_nProcessed = 0;      // files since the last quiet period; the worker's own
    std::atomic<uint32_t> m_uQuietPeriod{60000};
};
