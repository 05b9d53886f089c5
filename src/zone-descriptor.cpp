#include "zone-descriptor.h"

#include "globals.h"

namespace ozra {

CZoneDescriptor::CZoneDescriptor(std::string zoneUid, uint16_t zoneId, std::string hex)
    : mZoneUid(std::move(zoneUid)), mZoneID(zoneId), mHex(std::move(hex)), mBytes(ParseHexString(mHex)) {}

CDescriptorRef MakeDescriptor(std::string zoneUid, uint16_t zoneId, std::string hex) {
    return CDescriptorRef(new CZoneDescriptor(std::move(zoneUid), zoneId, std::move(hex)));
}

}  // namespace ozra
