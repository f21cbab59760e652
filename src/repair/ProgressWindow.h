// The progress window shown while the registry editor exports or imports the registry: a small
// dialog-framed window without border icons, with a picture and one centred line of text.
// Created on first use, then only shown and hidden for the rest of the run.
#pragma once
#include <windows.h>
#include <string>

#include "platform/Handle.h"
#include "platform/WindowBase.h"

namespace tw {

class TForm3 : public WindowBase {
public:
    // Creates the window hidden, centred on the desktop, owned by `owner` (may be null).
    explicit TForm3(HWND owner);
    ~TForm3() override;
    TForm3(const TForm3&) = delete;
    TForm3& operator=(const TForm3&) = delete;

    // Sets the caption and the line of text, shows the window and paints it at once.
    void Show(const std::string& caption, const std::string& text);
    void Hide();

    HWND Label() const { return label_; }

private:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void CreateChildren();

    HWND image_ = nullptr;
    HWND label_ = nullptr;
    UniqueGdiObject font_;
    HICON icon_ = nullptr;
};

}  // namespace tw
