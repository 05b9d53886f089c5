#pragma once

#include "trackableobject.h"
#include "zone.h"

namespace ozra {

// Stateless zone rules.
class manager {
public:
    // Whether candidate is the zone's coupled zone: each names the other, in the same project.
    bool are_coupled(const CZone& zone, const CZone& candidate) const;
    // Whether the zone's allow rule concerns the object, i.e. its device must hold the zone.
    bool tr_object_works_with_zone(const CZone& zone, const CTrackableObject& object) const;
};

}  // namespace ozra
