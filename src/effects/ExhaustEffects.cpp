// Exhaust effects at the exhaust markers of the fitted parts.
#include "startup/Installers.h"

namespace morvane {

void InstallExhaustEffects() {}

}  // namespace morvane
