#define DOCTEST_CONFIG_IMPLEMENT
#include <doctest.h>

#include <windows.h>
#include <objbase.h>

int main(int argc, char** argv) {
    // A test that fails must never stop at a system error dialog nobody can answer.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    CoInitialize(nullptr);
    doctest::Context ctx(argc, argv);
    int rc = ctx.run();
    CoUninitialize();
    return rc;
}
