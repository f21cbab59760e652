#include "platform/HostSystem.h"

#include "platform/WineHost.h"

namespace tw {

bool RunningUnderWine() { return !WineVersion().empty(); }

}  // namespace tw
