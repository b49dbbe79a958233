// One update run: on a worker thread, fetch the file list and the update list, download what is
// missing or changed, check and decompress it, and put each file to use, or hand program files
// to the upgrader.
//
// What a run guarantees
//   - A file is installed only after its gzip stream, its size and its listed CRC were checked,
//     and only at a path inside the folder its entry names; a list entry that could reach outside
//     its folder refuses the whole list.
//   - Listings update files of one channel reach the absorber in update order, whatever the
//     order of arrival; a later update waits until every earlier one of its run was absorbed.
//   - Program files are never put to use by the run: it installs the new upgrader, writes
//     "check.dat" only once every download was checked again, and hands over.
//   - Every failure ends up in the log and, unless the run is being stopped, in one error
//     report (message MSG_UPDATE_ERROR to the main window and the error sink).
//
// Invariants
//   1. At most one worker thread per checker; StopUpdate joins it (answering messages sent to
//      the joining thread meanwhile) before anything else touches the run's state.
//   2. The stage only grows during a run: 0, 1, then 3 or 4, then 5, 6, 7.
//   3. Once the stop event is set, the worker sends no error report and absorbs no download.
//   4. A failed move leaves the target's time stamp and the reload alone and stops the run.
//   5. The updates folder is emptied at the start of each run and whenever a run stops early.
//
// States (stage) and what moves between them, all on the worker thread but StartUpdate:
//
//   0 --RunUpdate: server list obtained--> 1 --MakeDownloadRequests--> (waits)
//   1 --OnGotData/OnRequestFailed, update list first--> 3 --file list--> 5
//   1 --OnGotData/OnRequestFailed, file list first---> 4 --update list--> 5
//     (with no channel to ask about the update list counts as answered, empty)
//   5 --RunUpdate: StartDownload--> 6 --transport idle--> 7 --DownloadFinished / cleanup
//   any wait --stop event or stop flag--> CancelRequests, RemoveOldDownloadedFiles, run over
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/Sync.h"
#include "update/AbsorbTarget.h"
#include "update/FileList.h"
#include "update/RequestManager.h"

class CSettingsStore;

// The message number of an update error report; wParam points to three 32-bit integers (lParam is 0).
inline constexpr uint32_t MSG_UPDATE_ERROR = 1054;

class CCheckForUpdates : public IRequestCallback {
public:
    // Reports of failures, on the worker thread: the text's number (0 for a message) and text.
    using ErrorSink = std::function<void(int32_t code, const std::string& text)>;

    CCheckForUpdates(IAbsorbTarget& target, const CSettingsStore& settings,
                     const std::string& userAgent = "Quilvo Lite");
    ~CCheckForUpdates() override;
    CCheckForUpdates(const CCheckForUpdates&) = delete;
    CCheckForUpdates& operator=(const CCheckForUpdates&) = delete;

    void SetErrorSink(ErrorSink sink) { m_errorSink = std::move(sink); }
    // The random numbers that pick servers; tests make them predictable.
    void SetRandomSource(std::function<uint32_t()> random) { m_pRequests->SetRandomSource(std::move(random)); }

    // Servers ("host:port" or an address prefix) that replace the configured ones.
    void SetServerHosts(std::vector<std::string> hosts) { m_serverHosts = std::move(hosts); }

    bool StartUpdate();
    void StopUpdate();
    // Waits for the worker thread to end on its own; false when it still runs after that long.
    bool WaitUntilFinished(uint32_t milliseconds);

    int GetStage() const { return m_nStage; }
    // True when the run reported a failure or stopped before its end.
    bool Failed() const { return m_bFailed; }
    // True when the run handed program files to the upgrader.
    bool HandedOver() const { return m_bHandedOver; }

    // IRequestCallback
    bool OnGotData(int id, const char* data, size_t length) override;
    void OnFileWritten(int id) override;
    void OnRequestFailed(int id, const std::string& text, int32_t value) override;

private:
    void RunUpdate();
    // Waits until the condition holds, polling the transport; false when the run was stopped
    // (requests cancelled and the updates folder emptied) or nothing more can arrive.
    bool WaitUntil(const std::function<bool()>& done);
    bool LoadServers();
    void MakeDownloadRequests();
    void AddListingsDownloads(const char* data, size_t length);
    // The stage after the update list's or the file list's answer (or failure).
    void UpdateListAnswered();
    void FileListAnswered();
    void ChooseStaticFilesToDownload();
    void StartDownload();
    void CancelRequests();
    void SendError(const std::string& text);
    bool CanAbsorbNow(int id) const;
    void Absorb(int id);
    // Checks a static download against its entry: gzip, decompresses, size and CRC. False (and
    // nothing left behind) on any mismatch.
    bool CheckDownload(CUpdateRequest& request, std::string& failure);

    // Putting downloads to use (AbsorbDownloads.cpp).
    void AbsorbWhileRunning(const std::string& path);
    void DownloadFinished();
    void CopyFilesFromDownloadDir();
    void RemoveOldDownloadedFiles();
    // Moves the file onto the entry's installed path and gives it the entry's time. False
    // (logged, run stopped) when the move fails.
    bool Install(const std::string& from, const CFileListEntry& entry, const std::string& target);
    // True when every static download still in the updates folder matches its entry.
    bool DownloadsStillMatch();
    std::string UpdatesFolder();

    IAbsorbTarget& m_target;
    const CSettingsStore& m_settings;
    ErrorSink m_errorSink;
    std::vector<std::string> m_serverHosts;
    plat::Event m_stopEvent{true};
    plat::Event m_finishedEvent{true};   // set as the worker's last step
    plat::Thread m_thread;
    std::atomic<int> m_nStage{0};
    std::atomic<bool> m_bFailed{false};
    std::atomic<bool> m_bHandedOver{false};
    bool m_bStop = false;
    std::vector<CUpdateRequest> m_checks;
    std::vector<CUpdateRequest> m_downloads;
    std::unordered_set<uint32_t> m_askedChannels;
    CFileList m_fileList;
    bool m_bProgramFiles = false;
    std::vector<int> m_delayed;
    std::unordered_set<int> m_absorbed;
    uint32_t m_nFinishedDownloads = 0;
    uint32_t m_nFailedDownloads = 0;
    std::unique_ptr<CRequestManager> m_pRequests;
};
