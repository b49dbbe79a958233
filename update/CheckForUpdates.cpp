// The update run: stages, the check requests, choosing and ordering downloads, checking what
// arrives and keeping each channel's listings updates in sequence.
#include "update/CheckForUpdates.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

#include "app/ApplicationServices.h"
#include "foundation/CompressedFile.h"
#include "foundation/DeploymentKeys.h"
#include "foundation/Exceptions.h"
#include "foundation/FileStore.h"
#include "foundation/FileUtils.h"
#include "foundation/LightXML.h"
#include "foundation/Log.h"
#include "foundation/NameHash.h"
#include "platform/File.h"
#include "platform/Names.h"
#include "platform/Process.h"

namespace {

constexpr uint32_t kMaxChannelID = 0x100000;
constexpr uint32_t kWaitMilliseconds = 100;
constexpr size_t kRecordBytes = 12;

void SetUpdating(bool updating)
{
    if (CApplicationServices* services = GetApplicationServices())
        services->SetUpdating(updating);
}

uint32_t Le32(const char* p)
{
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

bool IsGzipFile(const std::string& path)
{
    try {
        CFileStore file(path, storeRead);
        unsigned char magic[2] = {0, 0};
        return file.GetLength() >= 2 && (file.Read(magic, 2), magic[0] == 0x1F && magic[1] == 0x8B);
    } catch (CBaseException* e) {
        e->Delete();
        return false;
    }
}

bool EndsWithFolded(const std::string& text, std::string_view end)
{
    return text.size() >= end.size() && NamesEqual(std::string_view(text).substr(text.size() - end.size()), end);
}

}  // namespace

CCheckForUpdates::CCheckForUpdates(IAbsorbTarget& target, const CSettingsStore& settings,
                                   const std::string& userAgent)
    : m_target(target), m_settings(settings),
      m_pRequests(std::make_unique<CRequestManager>(nullptr, settings, userAgent))
{
    m_pRequests->SetCallback(this);
}

CCheckForUpdates::~CCheckForUpdates()
{
    StopUpdate();
    m_pRequests->ClearCallback();
}

bool CCheckForUpdates::StartUpdate()
{
    LogInfo("QV Update listings started");
    // The previous run ends before its files go, so nothing of it writes into the folder after.
    StopUpdate();
    RemoveOldDownloadedFiles();
    m_nStage = 0;
    m_bFailed = false;
    m_bHandedOver = false;
    m_stopEvent.Reset();
    m_finishedEvent.Reset();
    SetUpdating(true);   // from now on, so that a caller asking at once sees the run
    try {
        m_thread = plat::Thread([this] {
            RunUpdate();
            SetUpdating(false);
            m_finishedEvent.Set();
        });
    } catch (const std::exception& e) {
        LogWarning("QV Failed to start the update thread because %s", e.what());
        SetUpdating(false);
        return false;
    }
    return m_thread.Joinable();
}

void CCheckForUpdates::StopUpdate()
{
    if (m_thread.Joinable()) {
        m_stopEvent.Set();
        m_thread.Join();   // answers messages sent to this thread meanwhile
        m_thread = plat::Thread();
        CancelRequests();
    }
    SetUpdating(false);
}

bool CCheckForUpdates::WaitUntilFinished(uint32_t milliseconds)
{
    if (!m_thread.Joinable())
        return true;
    if (!m_finishedEvent.Wait(milliseconds))
        return false;
    m_thread.Join();
    m_thread = plat::Thread();
    return true;
}

void CCheckForUpdates::CancelRequests()
{
    LogDetail("QV Update listings requests cancelled...");
    m_pRequests->CancelAllRequests();
    while (!m_pRequests->IsTransportIdle())
        plat::Sleep(10);
    m_downloads.clear();
    SetUpdating(false);
}

bool CCheckForUpdates::WaitUntil(const std::function<bool()>& done)
{
    for (;;) {
        if (m_stopEvent.IsSet() || m_bStop) {
            CancelRequests();
            RemoveOldDownloadedFiles();
            return false;
        }
        if (done())
            return true;
        const bool idle = m_pRequests->IsTransportIdle();
        if (done())
            continue;
        if (idle) {
            // Only a callback moves the run on, and none can come any more.
            LogWarning("QV Update run stalled at stage %d", int(m_nStage));
            m_bFailed = true;
            m_bStop = true;
            continue;
        }
        m_stopEvent.Wait(kWaitMilliseconds);
    }
}

void CCheckForUpdates::RunUpdate()
{
    SetUpdating(true);
    m_bStop = false;
    try {
        if (UpdatesFolder().empty()) {
            LogWarning("QV No updates folder; update stopped");
            m_bFailed = true;
            m_bStop = true;
        } else if (!LoadServers()) {
            m_bStop = true;
        }
        if (!m_bStop)
            m_nStage = 1;
        if (!WaitUntil([this] { return m_nStage == 1; }))
            return;
        MakeDownloadRequests();
        if (!WaitUntil([this] { return m_nStage == 5; }))
            return;
        m_nStage = 6;
        if (!m_bStop && !m_checks.empty()) {
            StartDownload();
            if (!WaitUntil([this] { return m_pRequests->IsTransportIdle(); }))
                return;
        }
        m_nStage = 7;
        if (m_bStop || m_stopEvent.IsSet()) {
            CancelRequests();
            RemoveOldDownloadedFiles();
        } else if (!m_downloads.empty()) {
            DownloadFinished();
        } else {
            RemoveOldDownloadedFiles();
        }
    } catch (CBaseException* e) {
        LogWarning("CCheckForUpdates::RunUpdate Failed because %s", e->GetText());
        e->Delete();
        m_bFailed = true;
        CancelRequests();
        RemoveOldDownloadedFiles();
    } catch (const std::exception& e) {
        LogWarning("CCheckForUpdates::RunUpdate Failed because %s", e.what());
        m_bFailed = true;
        CancelRequests();
        RemoveOldDownloadedFiles();
    }
    SetUpdating(false);
}

bool CCheckForUpdates::LoadServers()
{
    // Hosts given by the owner; else "servers.xml" in the application folder, else the built-in
    // host. A "nodial" file in the application folder overrides the last two.
    auto load = [this](const std::vector<std::string>& hosts) {
        std::string text = "<servers>";
        for (const std::string& host : hosts)
            text += "<server type='static' name='" + host + "' url='" + host +
                    "' subdir='/sl/static-qvl-10/'/><server type='dynamic' name='" + host + "' url='" + host +
                    "' subdir='/sl/sl.dll'/>";
        text += "</servers>";
        LightXML::CElementPtr root(LightXML::ParseText(text.data(), text.size()));
        m_pRequests->LoadQVServersInfo(root ? root->FindPath("servers") : nullptr);
    };
    if (!m_serverHosts.empty()) {
        load(m_serverHosts);
    } else {
        CApplicationServices* services = GetApplicationServices();
        const std::string appFolder = services ? services->GetFolder("app-folder") : std::string();
        LightXML::CElementPtr root;
        if (!appFolder.empty() && plat::FileExists(appFolder + "servers.xml"))
            root.reset(LightXML::ParseFile(appFolder + "servers.xml"));
        m_pRequests->LoadQVServersInfo(root ? root->FindPath("servers") : nullptr);
        if (m_pRequests->GetStaticServers().empty() && m_pRequests->GetDynamicServers().empty()) {
            LogInfo("QV Using the default listings servers");
            load({kDefaultListingsHost});
        }
    }
    return !m_pRequests->GetStaticServers().empty() || !m_pRequests->GetDynamicServers().empty();
}

void CCheckForUpdates::MakeDownloadRequests()
{
    LogInfo("CCheckForUpdates::MakeDownloadRequests");
    m_checks.clear();
    m_downloads.clear();
    m_fileList.Clear();
    m_askedChannels.clear();

    CUpdateRequest fileList;
    fileList.m_nKind = 6;
    fileList.m_bStatic = true;
    fileList.m_nMethod = CUpdateRequest::methodGet;
    fileList.m_strPath = "filelist.dat";
    fileList.m_strDestination = UpdatesFolder() + "filelist.dat";
    fileList.m_bSaveToFile = false;
    m_checks.push_back(fileList);

    std::string body = "a=q";
    for (uint32_t channel : m_target.GetUserChannels()) {
        if (channel >= kMaxChannelID || m_askedChannels.count(channel))
            continue;
        m_askedChannels.insert(channel);
        body += "&b=" + std::to_string(channel) + "," + std::to_string(m_target.GetChannelLastUpdateID(channel));
    }
    if (!m_askedChannels.empty()) {
        CUpdateRequest updateList;
        updateList.m_nKind = 1;
        updateList.m_bStatic = false;
        updateList.m_nMethod = CUpdateRequest::methodPost;
        updateList.m_Body = body;
        updateList.m_bSaveToFile = false;
        m_checks.push_back(updateList);
    } else {
        // Nothing to ask about: the update list counts as answered without records.
        LogInfo("QV No channels to ask for listings updates");
        UpdateListAnswered();
    }
    m_pRequests->MakeRequests(m_checks);
}

void CCheckForUpdates::UpdateListAnswered()
{
    m_nStage = m_nStage == 4 ? 5 : 3;
}

void CCheckForUpdates::FileListAnswered()
{
    m_nStage = m_nStage == 3 ? 5 : 4;
}

bool CCheckForUpdates::OnGotData(int id, const char* data, size_t length)
{
    if (m_checks.empty() || m_nStage == 6 || id < 0 || size_t(id) >= m_checks.size())
        return false;
    const CUpdateRequest& request = m_checks[size_t(id)];
    LogInfo("CCheckForUpdates::OnRequestSucceeded - check request: %d", int(request.m_nKind));
    if (request.m_nKind == 1) {
        UpdateListAnswered();
        AddListingsDownloads(data, length);
        return true;
    }
    if (request.m_nKind != 6)
        return false;
    FileListAnswered();
    try {
        CFileStore file(request.m_strDestination, storeWrite);
        file.Write(data, uint32_t(std::min<size_t>(length, kMaxFileListBytes)));
        file.Close();
        switch (m_fileList.Load(request.m_strDestination)) {
        case CFileList::LoadResult::unsafe:
            // A list naming a file outside its folder is hostile: nothing of it is used.
            LogWarning("QV The file list names a file outside its folder; update stopped");
            m_bStop = true;
            SendError("The file list names a file outside its folder");
            return true;
        case CFileList::LoadResult::failed:
            SendError("Failed to load the file list");
            [[fallthrough]];
        case CFileList::LoadResult::loaded:
            if (m_fileList.IsEmpty())
                LogWarning("CCheckForUpdates:OnRequestSucceeded - failed to load compressed memory static file list");
            break;
        }
        ChooseStaticFilesToDownload();
    } catch (CBaseException* e) {
        // The stage has moved on already: report without counting the answer twice.
        const std::string text = e->GetText();
        e->Delete();
        LogWarning("QV %s", text.c_str());
        SendError(text);
        plat::DeleteFile(request.m_strDestination);
    }
    return true;
}

void CCheckForUpdates::AddListingsDownloads(const char* data, size_t length)
{
    const std::string folder = UpdatesFolder();
    for (size_t at = 0; at + kRecordBytes <= length; at += kRecordBytes) {
        const uint32_t channel = Le32(data + at);
        const uint32_t update = Le32(data + at + 4);
        const uint32_t bytes = Le32(data + at + 8);
        if (!m_askedChannels.count(channel)) {
            LogWarning("QV Update list names channel %u, which was not asked about", channel);
            continue;
        }
        if (m_target.IsUpdateFileQueued(channel, update))
            continue;
        CUpdateRequest request;
        request.m_nKind = 3;
        request.m_bStatic = false;
        request.m_nMethod = CUpdateRequest::methodGet;
        request.m_strPath = "?a=g&b=" + std::to_string(channel) + "," + std::to_string(update);
        request.m_strDestination = folder + std::to_string(channel) + "-" + std::to_string(update) + ".up";
        request.m_nExpectedBytes = bytes;
        request.m_nChannel = channel;
        request.m_nUpdateNumber = update;
        m_downloads.push_back(std::move(request));
    }
}

void CCheckForUpdates::ChooseStaticFilesToDownload()
{
    CApplicationServices* services = GetApplicationServices();
    const std::string appFolder = services ? services->GetFolder("app-folder") : std::string();
    const bool byTime = !appFolder.empty() && plat::FileExists(appFolder + "nodial");
    const std::vector<uint32_t> channels = m_target.GetUserChannels();

    std::vector<CFileListEntry> chosen;
    for (const CFileListEntry& entry : m_fileList.Entries()) {
        const std::string local = entry.InstalledPath();
        if (local.empty()) {
            LogWarning("QV No folder '%s' for '%s'", entry.m_strExtractFolder.c_str(), entry.m_strExtractName.c_str());
            continue;
        }
        if (EndsWithFolded(entry.m_strExtractName, ".ch")) {
            const uint32_t channel = uint32_t(std::strtoul(entry.m_strExtractName.c_str(), nullptr, 10));
            if (std::find(channels.begin(), channels.end(), channel) == channels.end())
                continue;
        }
        LogInfo("ChooseStaticFilesToDownload::Checking local file %s", local.c_str());
        if (!byTime && entry.m_uCRC != 0) {
            uint32_t crc = 0;
            if (GetFileCRC(local, crc) && crc == entry.m_uCRC)
                continue;
            LogDetail("ChooseStaticFilesToDownload::GetFileCRC %d, fi.m_uCRC %d", int(crc), int(entry.m_uCRC));
            chosen.push_back(entry);
        } else {
            plat::FileInfo info;
            if (!plat::GetFileInfo(local, info) || info.lastWrite < entry.Time())
                chosen.push_back(entry);
        }
    }

    const std::string folder = UpdatesFolder();
    for (const CFileListEntry& entry : OrderForDownload(std::move(chosen))) {
        CUpdateRequest request;
        request.m_nKind = 18;
        request.m_bStatic = true;
        request.m_nMethod = CUpdateRequest::methodGet;
        request.m_strPath = entry.m_strHashname;
        request.m_strDestination = folder + entry.m_strHashname + ".cmp";
        request.m_nExpectedBytes = entry.m_nBytes;
        m_downloads.push_back(std::move(request));
    }
}

void CCheckForUpdates::StartDownload()
{
    m_checks.clear();
    if (m_downloads.empty()) {
        m_bStop = true;
        return;
    }
    LogInfo("QV download started");

    m_bProgramFiles = false;
    for (const CUpdateRequest& request : m_downloads) {
        const CFileListEntry* entry = request.m_nMethod == CUpdateRequest::methodGet
                                          ? m_fileList.FindByHashname(request.m_strPath)
                                          : nullptr;
        if (entry && plat::IsProgramFile(entry->m_strExtractName))
            m_bProgramFiles = true;
    }

    m_delayed.clear();
    m_absorbed.clear();
    m_nFinishedDownloads = 0;
    m_nFailedDownloads = 0;
    // Static files first, in reverse of their order, then the listings files in theirs.
    std::vector<CUpdateRequest> ordered;
    ordered.reserve(m_downloads.size());
    for (CUpdateRequest& request : m_downloads)
        if (request.m_nKind == 18)
            ordered.insert(ordered.begin(), std::move(request));
    for (CUpdateRequest& request : m_downloads)
        if (request.m_nKind != 18)
            ordered.push_back(std::move(request));
    m_downloads = std::move(ordered);
    m_pRequests->MakeRequests(m_downloads);
}

bool CCheckForUpdates::CheckDownload(CUpdateRequest& request, std::string& failure)
{
    const std::string& from = request.m_strDestination;
    failure = "Failed to decompress file '" + from + "'";
    const CFileListEntry* entry = m_fileList.FindByHashname(request.m_strPath);
    const size_t dot = from.rfind('.');
    if (!entry || dot == std::string::npos || !EndsWithFolded(from, ".cmp")) {
        LogWarning("CCheckForUpdates::OnRequestSucceeded - no destination");
        plat::DeleteFile(from);
        return false;
    }
    const std::string target = from.substr(0, dot);
    if (!IsGzipFile(from) || !DecompressFile(from, target)) {
        plat::DeleteFile(from);
        return false;
    }
    plat::FileInfo info;
    uint32_t crc = 0;
    if (!plat::GetFileInfo(target, info) || info.size != entry->m_nBytes ||
        (entry->m_uCRC != 0 && (!GetFileCRC(target, crc) || crc != entry->m_uCRC))) {
        failure = "Downloaded file '" + target + "' does not match the file list";
        plat::DeleteFile(target);
        return false;
    }
    request.m_strDestination = target;
    return true;
}

void CCheckForUpdates::OnFileWritten(int id)
{
    if (m_nStage != 6 || id < 0 || size_t(id) >= m_downloads.size())
        return;
    CUpdateRequest& request = m_downloads[size_t(id)];
    if (request.m_nKind != 3 && request.m_nKind != 18)
        return;
    LogInfo("CCheckForUpdates::OnRequestSucceeded - download request: %d", int(request.m_nKind));

    if (request.m_nKind == 18) {
        std::string failure;
        if (!CheckDownload(request, failure)) {
            LogWarning("QV %s", failure.c_str());
            OnRequestFailed(id, failure, int32_t(request.m_nExpectedBytes));
            return;
        }
    } else {
        plat::FileInfo info;
        if (!plat::GetFileInfo(request.m_strDestination, info) || info.size != request.m_nExpectedBytes) {
            const std::string failure = "Downloaded file '" + request.m_strDestination + "' is not the size listed";
            LogWarning("QV %s", failure.c_str());
            plat::DeleteFile(request.m_strDestination);
            OnRequestFailed(id, failure, int32_t(request.m_nExpectedBytes));
            return;
        }
    }

    if (!m_bProgramFiles) {
        if (!CanAbsorbNow(id)) {
            m_delayed.push_back(id);
        } else if (!m_bStop && !m_stopEvent.IsSet()) {
            LogDetail("CCheckForUpdates::OnRequestSucceeded Absorbing file %s", request.m_strDestination.c_str());
            Absorb(id);
        }
        // One absorbed update may free the next of its channel, which may free the next again.
        for (bool progress = true; progress && !m_bStop && !m_stopEvent.IsSet();) {
            progress = false;
            for (size_t i = m_delayed.size(); i-- > 0;) {
                const int delayed = m_delayed[i];
                if (!m_absorbed.count(delayed) && CanAbsorbNow(delayed)) {
                    LogDetail("CDownloadUpdates::OnRequestSucceeded Absorbing delayed file %s",
                              m_downloads[size_t(delayed)].m_strDestination.c_str());
                    Absorb(delayed);
                    m_delayed.erase(m_delayed.begin() + std::ptrdiff_t(i));
                    progress = true;
                }
            }
        }
    }
    ++m_nFinishedDownloads;
}

void CCheckForUpdates::Absorb(int id)
{
    AbsorbWhileRunning(m_downloads[size_t(id)].m_strDestination);
    m_absorbed.insert(id);
}

bool CCheckForUpdates::CanAbsorbNow(int id) const
{
    const CUpdateRequest& request = m_downloads[size_t(id)];
    if (request.m_nKind != 3)
        return true;
    for (size_t other = 0; other < m_downloads.size(); ++other) {
        const CUpdateRequest& o = m_downloads[other];
        if (int(other) != id && o.m_nKind == 3 && !m_absorbed.count(int(other)) &&
            o.m_nChannel == request.m_nChannel && o.m_nUpdateNumber < request.m_nUpdateNumber)
            return false;
    }
    return true;
}

void CCheckForUpdates::OnRequestFailed(int id, const std::string& text, int32_t value)
{
    m_bFailed = true;
    if (m_nStage == 6) {
        if (id >= 0 && size_t(id) < m_downloads.size()) {
            ++m_nFailedDownloads;
            SendError(text);
            if (m_downloads[size_t(id)].m_nKind == 18)
                m_bStop = true;
        }
        return;
    }
    if (id >= 0 && size_t(id) < m_checks.size()) {
        const CUpdateRequest& request = m_checks[size_t(id)];
        if (request.m_nKind == 1) {
            m_bStop = true;
            UpdateListAnswered();
        } else if (request.m_nKind == 6) {
            FileListAnswered();
            SendError(text);
            plat::DeleteFile(request.m_strDestination);
            return;
        }
    }
    SendError(text);
    m_pRequests->CancelAllRequests();
}

void CCheckForUpdates::SendError(const std::string& text)
{
    m_bFailed = true;
    if (m_stopEvent.IsSet())
        return;   // the main thread may be joining us: it gets no more reports
    int32_t code = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), code);
    if (error != std::errc() || end != text.data() + text.size())
        code = 0;
    if (CApplicationServices* services = GetApplicationServices()) {
        if (plat::HWND hwnd = services->GetMainWindowHandle()) {
            int32_t values[3] = {code, 0, 0};
            plat::SendMessage(hwnd, MSG_UPDATE_ERROR, plat::WPARAM(values), 0);
        }
    }
    if (m_errorSink)
        m_errorSink(code, text);
}
