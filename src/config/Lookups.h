#pragma once
// Lookups with fallback to the global settings.
#include "config/Profiles.h"
