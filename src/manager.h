#pragma once

#include <boost/optional.hpp>

#include <map>
#include <string>

#include "trackableobject.h"
#include "zone.h"

namespace ozra {

// Stateless zone rules.
class manager {
public:
    // The zone in zones coupled to zone: mutual coupling within the same project; the first in uid order.
    boost::optional<const CZone&> get_coupled_zone(const CZone& zone,
                                                   const std::map<std::string, CZone>& zones) const;
    // Whether candidate is the zone's coupled zone: each names the other, in the same project.
    bool are_coupled(const CZone& zone, const CZone& candidate) const;
    // Whether the zone's allow rule concerns the object, i.e. its device must hold the zone.
    bool tr_object_works_with_zone(const CZone& zone, const CTrackableObject& object) const;
};

}  // namespace ozra
