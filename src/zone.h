#pragma once

#include <cstdint>
#include <list>
#include <ostream>
#include <set>
#include <string>

#include "point.h"
#include "srv-state.h"

namespace ozra {

enum zoneShape : uint32_t { POLYGON = 1, CIRCLE = 2 };

// A zone as defined on the server.
class CZone {
public:
    explicit CZone(const std::string& uid);

    // Compares everything but uid, name and synchronisation state; point order does not matter.
    bool operator==(const CZone& other) const;
    bool operator!=(const CZone& other) const { return !(*this == other); }

    // Hexadecimal descriptor as a device stores it; zones of either boundary type carry the coupled ID.
    std::string GetZoneDescriptor(uint16_t boundaryInTypeId, uint16_t boundaryOutTypeId) const;
    // Whether every descriptor field fits its width (type ID and point count in one byte).
    bool CanBeEncoded() const;

    std::string mUid;
    std::string mProjectUid;
    std::string mName;
    std::list<CPoint> mPoints;
    uint16_t mType = 0;
    bool mDefaultAllowed = false;
    zoneShape mShape = POLYGON;
    std::string mTrackableObjectUid;
    int64_t mRadius = 0;  // square of the radius
    std::set<std::string> mExceptions;
    std::set<std::string> mExceptionsGroups;
    uint16_t mSublocationID = 0;
    uint16_t mZoneID = 0;
    uint16_t mCoupled = 0;
    srvState mSrvState = srvState::NEW;
};

std::ostream& operator<<(std::ostream& stream, const CZone& zone);

}  // namespace ozra
