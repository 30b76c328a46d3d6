// Neon underglow in place of the car shadow.
#include "startup/Installers.h"

namespace morvane {

void InstallNeon() {}

}  // namespace morvane
