#pragma once
// Exhaust effects at the exhaust markers of the fitted parts: the routines behind the
// effect-list and marker hooks, and their installer.
#include <cstdint>
#include <vector>

#include "host/Host.h"

namespace morvane {

// Adds one effect definition of a car to the car's effect list: other effects as they
// are, exhaust effects of exhaust owners at the holder's markers.
void AddCarEffect(const void* owner, const host::EffectDefinition* definition, host::EffectListHead* head,
                  uint32_t* counter, const void* markerHolder);

// Appends one node for the definition, placed at `marker` (mirrored or not) when one is
// given. Nothing is appended and the counter stays when no node or placed record can be
// had.
void AppendEffectNode(const host::EffectDefinition* definition, host::EffectListHead* head, uint32_t* counter,
                      const void* marker, bool mirrored);

// The definition moved to the marker's position (and mirrored across y = 0), as one record
// of the placed-effect cache; null when a new record cannot be allocated.
const host::EffectDefinition* PlaceEffectAtMarker(const void* marker, const host::EffectDefinition* definition,
                                                  bool mirrored);

// Whether a car part counts as carrying an exhaust marker.
bool PartUsesExhaustMarker(host::Part* part);

// The placed-effect cache's records in insertion order (a copy of the list).
std::vector<const host::EffectDefinition*> PlacedEffectRecords();

// Writes the effect-list sites when "ExhaustFX" is on, the part-select and marker sites
// always.
void InstallExhaustEffects();

}  // namespace morvane
