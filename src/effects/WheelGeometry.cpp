// Camber, track width and tire width from fitted parts; the steering animation.
#include "startup/Installers.h"

namespace morvane {

void InstallWheelGeometry() {}

}  // namespace morvane
