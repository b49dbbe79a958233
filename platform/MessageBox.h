// Message boxes with the Windows flags and answers. The backend is chosen by QVL_PLATFORM
// ("headless" or "desktop"); without it, desktop when a display is available.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace plat {

enum : uint32_t {
    MB_OK = 0x0, MB_OKCANCEL = 0x1, MB_ABORTRETRYIGNORE = 0x2, MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4, MB_RETRYCANCEL = 0x5,
    MB_ICONHAND = 0x10, MB_ICONERROR = 0x10, MB_ICONSTOP = 0x10, MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30, MB_ICONWARNING = 0x30, MB_ICONASTERISK = 0x40,
    MB_ICONINFORMATION = 0x40,
    MB_DEFBUTTON1 = 0x0, MB_DEFBUTTON2 = 0x100, MB_DEFBUTTON3 = 0x200,
    MB_APPLMODAL = 0x0, MB_SYSTEMMODAL = 0x1000, MB_TASKMODAL = 0x2000,
    MB_SETFOREGROUND = 0x10000, MB_TOPMOST = 0x40000,
};
enum : int {
    IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7,
};

enum class Backend { Headless, Desktop };
Backend CurrentBackend();   // from QVL_PLATFORM, else desktop when DISPLAY/WAYLAND_DISPLAY is set

// The answer of the default button for the flags (MB_DEFBUTTONn of the button row).
int DefaultAnswer(uint32_t flags);

// Shows a message box and returns the button pressed. The headless backend writes
// "caption: text" to standard error and to the message-box log hook, then answers from the
// queued test answers or else the default button.
int MessageBox(uintptr_t owner, const std::string& text, const std::string& caption, uint32_t flags);

// The foundation's log installs itself here so headless boxes also reach the log file.
void SetMessageBoxLogHook(std::function<void(const std::string& line)> hook);

// Headless test support: answers to give, in order, and the boxes shown so far.
struct ShownMessageBox { std::string text, caption; uint32_t flags = 0; int answer = 0; };
void QueueMessageBoxAnswer(int answer);
std::vector<ShownMessageBox> TakeShownMessageBoxes();

// The desktop backend registers its implementation here when it is built.
using MessageBoxImpl = int (*)(uintptr_t owner, const std::string& text,
                               const std::string& caption, uint32_t flags);
void SetDesktopMessageBoxImpl(MessageBoxImpl impl);

}  // namespace plat
