// The repair of an installer product's row: the product's own uninstall, run and waited for
// with a limit and a way for the user to stop waiting, then the product judged again. Only the
// product's being gone, not the installer's exit code, makes the row repaired: a killed
// installer may report success and leave the product as it was.
#pragma once
#include <windows.h>
#include <string>

#include "repair/RepairProgress.h"
#include "repair/RepairView.h"

namespace tw {

// How long a repair waits for a product's own uninstall. A silent uninstall of an ordinary
// product ends within seconds or a few minutes; one still running after this waits for
// something no one will answer (a question it may not ask, a locked file), and the console's
// run (the sweep over every prefix gives each one 15 minutes) must not wait behind it forever.
constexpr DWORD kUninstallWaitLimitMs = 10 * 60 * 1000;

// What came of a product's uninstall.
struct ProductAnswer {
    // The installer's exit code as a number, "-" when it did not end (not started, given up,
    // stopped); empty when no uninstall was tried.
    std::string code;
    // What it means, in the user's words, with the judgement after it.
    std::string meaning;
    // The whole sentence for the log and the messages: the command, the code and the meaning.
    std::string said;
};

// Runs "msiexec /x {code} /qn" for the product that root\location registers, showing that it
// waits (status line, `progress` when given) until it ends, the limit passes or the user stops
// waiting, and then judges the product again. True when the product is gone: its uninstall
// entry and the installer's record of it are both no longer there.
bool UninstallProduct(HKEY root, const std::string& location, const std::string& code, RepairView& view,
                      RepairProgress* progress, ProductAnswer& answer);

}  // namespace tw
