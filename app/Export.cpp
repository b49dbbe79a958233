// The export of libquilvolite.so: one running copy per user, the application built and run on
// the caller's thread.
#include "app/GuideApplication.h"
#include "app/ShowQuilvoLiteInterface.h"
#include "platform/Instance.h"
#include "platform/MessageQueue.h"
#include "platform/Names.h"
#include "platform/Process.h"
#include "script/ScriptEngine.h"

void ShowQuilvoLiteInterface(uintptr_t window, void* instance, const char* commandLine, int show)
{
    plat::SingleInstanceLock instanceLock;
    if (!instanceLock.Acquire(plat::kSingleInstanceName))
        return;   // another copy runs
    // SIGTERM and SIGINT end the run in order, as a quit message does.
    plat::InstallQuitSignalHandlers(plat::GetCurrentThreadId());
    {
        CGuideApplication application;
        application.Run();
    }
    // The lock is let go only after the application, whose destructor may still save the
    // settings, is gone.
    instanceLock.Release();
    ShutDownScriptLibrary();
}
