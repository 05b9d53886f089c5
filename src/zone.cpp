#include "zone.h"

#include <algorithm>
#include <cmath>

#include "globals.h"

namespace ozra {

namespace {

constexpr const char* COUPLED_FLAG = "02";
constexpr const char* UNCOUPLED_FLAG = "00";

template <class Container>
bool ContainsAll(const Container& some, const Container& all) {
    return std::all_of(some.begin(), some.end(), [&all](const auto& item) {
        return std::find(all.begin(), all.end(), item) != all.end();
    });
}

const char* ShapeName(zoneShape shape) {
    switch (shape) {
        case POLYGON:
            return "POLYGON";
        case CIRCLE:
            return "CIRCLE";
    }
    return "";
}

}  // namespace

CZone::CZone(const std::string& uid) : mUid(uid) {}

bool CZone::operator==(const CZone& other) const {
    return mProjectUid == other.mProjectUid && mType == other.mType &&
           mDefaultAllowed == other.mDefaultAllowed && mShape == other.mShape &&
           mTrackableObjectUid == other.mTrackableObjectUid && mRadius == other.mRadius &&
           mSublocationID == other.mSublocationID && mZoneID == other.mZoneID && mCoupled == other.mCoupled &&
           mPoints.size() == other.mPoints.size() && mExceptions.size() == other.mExceptions.size() &&
           mExceptionsGroups.size() == other.mExceptionsGroups.size() &&
           ContainsAll(mPoints, other.mPoints) && ContainsAll(mExceptions, other.mExceptions) &&
           ContainsAll(mExceptionsGroups, other.mExceptionsGroups);
}

std::string CZone::GetZoneDescriptor(uint16_t boundaryInTypeId, uint16_t boundaryOutTypeId) const {
    const bool coupled = mType == boundaryInTypeId || mType == boundaryOutTypeId;
    std::string descriptor =
        HexNumber(mSublocationID, 4) + HexNumber(mZoneID, 4) + "0000" + HexNumber(mType, 2);
    descriptor += coupled ? COUPLED_FLAG : UNCOUPLED_FLAG;
    if (coupled) {
        descriptor += HexNumber(mCoupled, 4);
    }
    descriptor += HexNumber(mShape, 2) + HexNumber(mPoints.size(), 2);
    for (const CPoint& point : mPoints) {
        descriptor +=
            HexNumber(static_cast<uint32_t>(point.mX), 8) + HexNumber(static_cast<uint32_t>(point.mY), 8);
    }
    return descriptor;
}

bool CZone::CanBeEncoded() const {
    return mType <= 0xFF && mPoints.size() <= 0xFF;
}

std::ostream& operator<<(std::ostream& stream, const CZone& zone) {
    stream << " uid:" << zone.mUid << " prj:" << zone.mProjectUid << " type:" << zone.mType
           << " default allowed:" << zone.mDefaultAllowed << " shape:" << ShapeName(zone.mShape)
           << " Sublocation ID:" << zone.mSublocationID << " ID:" << zone.mZoneID
           << " Coupled:" << zone.mCoupled << " State:" << SrvStateName(zone.mSrvState) << std::endl;
    stream << " Exceptions:";
    for (const std::string& uid : zone.mExceptions) {
        stream << ' ' << uid;
    }
    stream << std::endl << " Exception Groups:";
    for (const std::string& uid : zone.mExceptionsGroups) {
        stream << ' ' << uid;
    }
    stream << std::endl;
    for (const CPoint& point : zone.mPoints) {
        stream << " (" << point.mX << ',' << point.mY << ')';
    }
    if (zone.mShape == CIRCLE) {
        stream << " radius: " << std::sqrt(static_cast<double>(zone.mRadius))
               << " TO:" << zone.mTrackableObjectUid;
    }
    return stream << std::endl;
}

}  // namespace ozra
