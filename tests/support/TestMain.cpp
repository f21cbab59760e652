#define DOCTEST_CONFIG_IMPLEMENT
#include <doctest.h>

#include <windows.h>
#include <objbase.h>

#include <cstring>

int main(int argc, char** argv) {
    // A stand-in for an outside program that runs until the test lets it end (a minute at most).
    if (argc == 3 && strcmp(argv[1], "--stand-in-until") == 0) {
        HANDLE done = OpenEventA(SYNCHRONIZE, FALSE, argv[2]);
        if (done) WaitForSingleObject(done, 60000), CloseHandle(done);
        return 0;
    }
    // A test that fails must never stop at a system error dialog nobody can answer.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    CoInitialize(nullptr);
    doctest::Context ctx(argc, argv);
    int rc = ctx.run();
    CoUninitialize();
    return rc;
}
