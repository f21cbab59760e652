// A main window for one test, made from the settings file the test gives (none: the defaults),
// and the settings file removed again when it closes.
#pragma once
#include <doctest.h>

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

#include "app/MainWindow.h"
#include "platform/FileSystem.h"
#include "support/Sandbox.h"
#include "support/WindowProbes.h"

namespace tw::test {

inline std::string SettingsPath() { return ProgramFolder() + "Set.ini"; }

inline void WriteSettings(const std::string& text) {
    RemoveTree(SettingsPath());
    DeleteFileA(SettingsPath().c_str());
    if (text.empty()) return;
    FILE* f = fopen(SettingsPath().c_str(), "wb");
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
}

struct Window {
    explicit Window(const std::string& settings = "") {
        WriteSettings(settings);
        form.reset(new MainWindow);
        REQUIRE(form->Create(GetModuleHandleW(nullptr)));
        form->Show();
        PumpUntil([] { return false; }, 50);
    }
    ~Window() {
        form.reset();
        WriteSettings("");
    }
    HWND Panel() const { return GetParent(form->Checklist()); }
    std::unique_ptr<MainWindow> form;
};

}  // namespace tw::test
