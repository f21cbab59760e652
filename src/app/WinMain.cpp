// Program entry: one copy at a time, one main window, no command line.
#include <windows.h>

#include "app/MainWindow.h"
#include "platform/ComScope.h"
#include "platform/Handle.h"
#include "platform/MessagePump.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    tw::UniqueKernelHandle mutex(CreateMutexA(nullptr, TRUE, "Tarnwell"));
    // A second copy ends at once, silently, and leaves the first one alone.
    if (GetLastError() == ERROR_ALREADY_EXISTS) return 0;
    int rc = 0;
    {
        tw::ComScope com;
        tw::MainWindow form;
        if (form.Create(instance)) {
            form.Show();
            rc = tw::RunMessageLoop();
        }
    }
    if (mutex) ReleaseMutex(mutex.get());
    return rc;
}
