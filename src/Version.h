#pragma once
// The product's version, kept in this one place: the plug-in's version resource, the run
// report, MorvaneCheck and the release package all take it from here.
#define MORVANE_VERSION_MAJOR 1
#define MORVANE_VERSION_MINOR 1
#define MORVANE_VERSION_PATCH 0
#define MORVANE_VERSION_TEXT "1.1.0"

#ifndef RC_INVOKED
constexpr const char kMorvaneVersion[] = MORVANE_VERSION_TEXT;
#endif
