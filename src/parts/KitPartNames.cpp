// Kit-numbered companion parts and the pop-up headlight answer.
#include "startup/Installers.h"

namespace morvane {

void InstallKitPartNames() {}

}  // namespace morvane
