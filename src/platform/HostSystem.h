// What the program can tell about the system it runs on beyond its version.
#pragma once

namespace tw {

// Whether the program runs under Wine (its ntdll exports wine_get_version): Wine's own programs
// and drawing differ from Windows' in ways the program works around.
bool RunningUnderWine();

}  // namespace tw
