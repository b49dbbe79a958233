// Window sections: their windows, timers and the shared window procedure.
#include "ui/WindowSection.h"

#include <algorithm>

#include "platform/Input.h"
#include "platform/Instance.h"
#include "platform/WindowMessages.h"

namespace {

const char* const kSectionProperty = "section-ptr";

std::vector<CWindowSection*>& OpenWindows()
{
    static std::vector<CWindowSection*> windows;
    return windows;
}

void Forget(CWindowSection* pWindow)
{
    std::erase(OpenWindows(), pWindow);
}

// At most that many bytes of the text, cut where a character starts.
std::string Cut(const std::string& strText, size_t nMaxBytes)
{
    if (strText.size() <= nMaxBytes)
        return strText;
    size_t nLength = nMaxBytes;
    while (nLength > 0 && (static_cast<unsigned char>(strText[nLength]) & 0xC0) == 0x80)
        --nLength;
    return strText.substr(0, nLength);
}

}  // namespace

CWindowSection::CWindowSection(int nWindowType, std::string strName)
    : m_nWindowType(nWindowType), m_strName(std::move(strName))
{
    OpenWindows().push_back(this);
}

CWindowSection::~CWindowSection()
{
    Forget(this);
    Close();
}

const std::vector<CWindowSection*>& GetOpenWindows()
{
    return OpenWindows();
}

bool CWindowSection::Create(const plat::Rect& rect, plat::HWND hwndParent)
{
    if (m_hWnd)
        return false;
    const plat::HWND hwnd = plat::CreateWindowRecord(WindowProc);
    if (!hwnd)
        return false;
    m_hWnd = hwnd;
    m_hWndParent = hwndParent;
    m_rcWindow = rect;
    plat::SetProp(hwnd, kSectionProperty, reinterpret_cast<uintptr_t>(this));
    plat::SendMessage(hwnd, plat::WM_CREATE, 0, 0);
    return true;
}

void CWindowSection::Close()
{
    if (m_hWnd)
        plat::DestroyWindowRecord(m_hWnd);
}

void CWindowSection::Show(int nShowCommand)
{
    m_bVisible = nShowCommand != plat::SW_HIDE;
}

uintptr_t CWindowSection::StartTimer(uint32_t uMilliseconds)
{
    if (!m_hWnd)
        return 0;
    const uintptr_t uTimerId = ++m_uLastTimerId;
    if (!plat::SetTimer(m_hWnd, uTimerId, uMilliseconds))
        return 0;
    m_mapTimers[uTimerId] = this;
    return uTimerId;
}

void CWindowSection::StopTimer(uintptr_t uTimerId)
{
    if (!m_hWnd)
        return;
    m_mapTimers.erase(uTimerId);
    plat::KillTimer(m_hWnd, uTimerId);
}

void CWindowSection::SetTrayIcon(CImagePtr pIcon, const std::string& strTip)
{
    if (!m_hWnd)
        return;   // the icon's messages need the window
    m_tray.pIcon = std::move(pIcon);
    m_tray.strTip = Cut(strTip, 127);
    m_bTrayIconPresent = true;
}

void CWindowSection::RemoveTrayIcon()
{
    m_tray = {};
    m_bTrayIconPresent = false;
}

void CWindowSection::SetTrayBalloon(const std::string& strTitle, const std::string& strText, uint32_t uTimeout,
                                    uint32_t uFlags)
{
    if (!m_bTrayIconPresent || strTitle.empty() || strText.empty())
        return;
    m_tray.strBalloonTitle = Cut(strTitle, 63);
    m_tray.strBalloonText = Cut(strText, 255);
    m_tray.uBalloonTimeout = uTimeout;
    m_tray.uBalloonFlags = uFlags;
}

void CWindowSection::OnFinalDestroy()
{
    plat::UnregisterHotKeys(m_hWnd);
    m_mapTimers.clear();
    m_bVisible = false;
    m_hWnd = 0;
}

plat::LRESULT CWindowSection::WindowProc(plat::HWND hwnd, uint32_t uMessage, plat::WPARAM wParam, plat::LPARAM lParam)
{
    auto* pSection = reinterpret_cast<CWindowSection*>(plat::GetProp(hwnd, kSectionProperty));
    return pSection ? pSection->HandleMessage(uMessage, wParam, lParam) : 0;
}

plat::LRESULT CWindowSection::HandleMessage(uint32_t uMessage, plat::WPARAM wParam, plat::LPARAM lParam)
{
    static const uint32_t uTaskbarCreated = plat::RegisterWindowMessage(plat::kTaskbarCreatedName);
    switch (uMessage) {
    case plat::WM_CREATE:
        OnCreate();
        return 0;
    case plat::WM_DESTROY: {
        // The window record goes once this returns: the final destroy steps run here too.
        const plat::HWND hwnd = m_hWnd;
        RemoveTrayIcon();
        OnDestroy();
        OnFinalDestroy();
        plat::RemoveProp(hwnd, kSectionProperty);
        return 0;
    }
    case plat::WM_TIMER: {
        auto it = m_mapTimers.find(wParam);
        if (it != m_mapTimers.end())
            it->second->OnTimer(wParam);
        return 0;
    }
    case plat::WM_QUERYENDSESSION:
        return OnQueryEndSession();
    case plat::WM_POWERBROADCAST:
        return OnPowerChange(uint32_t(wParam));
    case plat::WM_HOTKEY:
        OnHotKey(int(wParam));
        return 0;
    case plat::WM_TRAYCALLBACK:
        HandleTrayCallback(lParam);
        return 0;
    default:
        if (uMessage == uTaskbarCreated) {
            OnTaskBarRestart();
            return 0;
        }
        return OnUnhandledMessage(uMessage, wParam, lParam);
    }
}

void CWindowSection::HandleTrayCallback(plat::LPARAM lParam)
{
    switch (uint32_t(lParam)) {
    case plat::WM_MOUSEMOVE: OnTrayMouseMove(); break;
    case plat::WM_LBUTTONDOWN: OnTrayLeftClick(); break;
    case plat::WM_LBUTTONDBLCLK: OnTrayLeftDoubleClick(); break;
    case plat::WM_RBUTTONDOWN: OnTrayRightClick(); break;
    case plat::NIN_BALLOONTIMEOUT: OnTrayBalloonTimeout(); break;
    case plat::NIN_BALLOONUSERCLICK: OnTrayBalloonClick(); break;
    default: break;
    }
}

void CloseAllWindows()
{
    while (!OpenWindows().empty()) {
        CWindowSection* pWindow = OpenWindows().front();
        if (!pWindow->CanClose()) {
            plat::MSG msg;
            while (plat::PeekMessage(msg, 0, 0, 0, plat::PM_REMOVE))
                plat::DispatchMessage(msg);
        } else if (pWindow->GetHWND()) {
            pWindow->Close();
        } else {
            Forget(pWindow);
        }
    }
}
