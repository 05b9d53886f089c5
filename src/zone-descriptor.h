#pragma once

#include <boost/intrusive_ptr.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace ozra {

// One zone's descriptor as devices store it: computed once per synchronisation and shared by every
// device zone entry that refers to it. Immutable; used on the events-loop thread only.
class CZoneDescriptor {
public:
    // hex: the descriptor text; it must be pairs of hexadecimal digits (raises otherwise).
    CZoneDescriptor(std::string zoneUid, uint16_t zoneId, std::string hex);
    CZoneDescriptor(const CZoneDescriptor&) = delete;
    CZoneDescriptor& operator=(const CZoneDescriptor&) = delete;

    const std::string& ZoneUid() const { return mZoneUid; }
    uint16_t ZoneID() const { return mZoneID; }
    const std::string& Hex() const { return mHex; }
    const std::vector<uint8_t>& Bytes() const { return mBytes; }

private:
    friend void intrusive_ptr_add_ref(const CZoneDescriptor* descriptor) { ++descriptor->mReferences; }
    friend void intrusive_ptr_release(const CZoneDescriptor* descriptor) {
        if (--descriptor->mReferences == 0) {
            delete descriptor;
        }
    }

    const std::string mZoneUid;
    const uint16_t mZoneID;
    const std::string mHex;
    const std::vector<uint8_t> mBytes;
    mutable uint32_t mReferences = 0;
};

using CDescriptorRef = boost::intrusive_ptr<const CZoneDescriptor>;

// Whether two descriptors hold the same text (which carries the zone ID).
inline bool SameDescriptor(const CZoneDescriptor& left, const CZoneDescriptor& right) {
    return &left == &right || left.Hex() == right.Hex();
}

CDescriptorRef MakeDescriptor(std::string zoneUid, uint16_t zoneId, std::string hex);

}  // namespace ozra
