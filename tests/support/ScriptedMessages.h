// Message boxes answered from a script (OK once the script runs out), with every text shown and
// the caption and type of each box.
#pragma once
#include <windows.h>

#include <deque>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/Seams.h"

namespace tw::test {

struct Messages {
    ScopedSeams seams;
    std::deque<int> answers;
    std::vector<std::string> shown, captions;
    std::vector<UINT> types;
    explicit Messages(std::initializer_list<int> script = {}) : answers(script) {
        seams->messageBox = [this](HWND, const std::string& text, const std::string& caption, UINT type) {
            shown.push_back(text);
            captions.push_back(caption);
            types.push_back(type);
            int a = answers.empty() ? IDOK : answers.front();
            if (!answers.empty()) answers.pop_front();
            return a;
        };
    }
};

}  // namespace tw::test
