#include <vector>

#include "kelt.h"

namespace ozra {

void kelt::SetBoundaryTypeIds() {
    const auto in = m_zone_types.find("boundary_in");
    if (in != m_zone_types.end()) {
        m_boundary_in_type_id = in->second;
    }
    const auto out = m_zone_types.find("boundary_out");
    if (out != m_zone_types.end()) {
        m_boundary_out_type_id = out->second;
    }
}

CTrackableObject& kelt::ManageTrObject(const std::string& uid, const CTrackableObject& record) {
    return mTrObjects.emplace(uid, record).first->second;
}

void kelt::ForgetOrKeepUnassociated(const std::string& uid, const std::set<std::string>& unassociated) {
    if (unassociated.count(uid) != 0) {
        if (!mUnassociatedTrObjects.IsSynchronized(uid)) {
            mUnassociatedTrObjects.AddTO(uid, false);
        }
        return;
    }
    m_server->DeleteZoneDownloadStatus(uid);
    mUnassociatedTrObjects.RemoveTO(uid);
}

void kelt::init_context_from_zone_download_status() {
    const auto statuses = m_server->GetZonesDownloadStatuses();
    m_server->GetZoneTypes(m_config_zone_types, m_zone_types);
    SetBoundaryTypeIds();
    for (const std::string& name : m_config_zone_types) {
        if (m_zone_types.count(name) == 0) {
            m_logger.warning(
                "The zone type %1% is present in the configuration file but not in the database") %
                name;
        }
    }
    m_server->GetZones(m_zone_types, mZones);
    for (auto& [uid, zone] : mZones) {
        WarnIfUnencodable(zone);
        zone.mSrvState = srvState::NOT_CHANGED;
    }

    std::map<std::string, CTrackableObject> objects;
    std::set<std::string> unassociated;
    m_server->GetTrObjects(objects, unassociated);
    for (const auto& [key, status] : statuses) {
        const std::string& uid = status.TrObjectUid();
        const auto found = objects.find(uid);
        if (found != objects.end()) {
            ManageTrObject(uid, found->second);
            mUnassociatedTrObjects.RemoveTO(uid);
        } else {
            ForgetOrKeepUnassociated(uid, unassociated);
        }
    }
    for (auto& [uid, object] : mTrObjects) {
        AddApplyingZones(object);
    }
}

void kelt::get_state_with_api() {
    // Everything is read before anything changes, so a failed read leaves the picture as it was.
    std::map<std::string, CZone> fresh;
    m_server->GetZones(m_zone_types, fresh);
    std::map<std::string, CTrackableObject> objects;
    std::set<std::string> unassociated;
    m_server->GetTrObjects(objects, unassociated);

    ResyncZones(fresh);
    ResyncTrObjects(objects, unassociated);
    for (auto& [uid, object] : mTrObjects) {
        ResyncDeviceZones(object);
    }
}

void kelt::ResyncZones(const std::map<std::string, CZone>& fresh) {
    for (auto it = mZones.begin(); it != mZones.end();) {
        it = fresh.count(it->first) == 0 ? mZones.erase(it) : std::next(it);
    }
    for (const auto& [uid, zone] : fresh) {
        const auto [stored, inserted] = mZones.emplace(uid, zone);
        if (inserted) {
            WarnIfUnencodable(zone);
            continue;
        }
        if (stored->second == zone) {
            stored->second.mSrvState = srvState::NOT_CHANGED;
        } else {
            stored->second = zone;
            stored->second.mSrvState = srvState::UPDATED;
            WarnIfUnencodable(zone);
        }
    }
}

void kelt::WarnIfUnencodable(const CZone& zone) const {
    if (!zone.CanBeEncoded()) {
        m_logger.warning(
            "Zone %1% (%2%, ID %3%) cannot be encoded for the devices (type ID %4%, %5% points); "
            "it is left out of every zone table") %
            zone.mUid % zone.mName % zone.mZoneID % zone.mType % zone.mPoints.size();
    }
}

void kelt::ResyncTrObjects(const std::map<std::string, CTrackableObject>& objects,
                           const std::set<std::string>& unassociated) {
    for (auto it = mTrObjects.begin(); it != mTrObjects.end();) {
        if (objects.count(it->first) != 0) {
            ++it;
            continue;
        }
        ForgetOrKeepUnassociated(it->first, unassociated);
        it = mTrObjects.erase(it);
    }

    std::vector<std::string> associatedAgain;
    std::vector<std::string> gone;
    mUnassociatedTrObjects.ForEachTO([&](const std::string& uid) {
        const auto found = objects.find(uid);
        if (found != objects.end()) {
            ManageTrObject(uid, found->second).mSrvState = srvState::UPDATED;
            associatedAgain.push_back(uid);
        } else if (unassociated.count(uid) == 0) {
            gone.push_back(uid);
        }
        return true;
    });
    for (const std::string& uid : associatedAgain) {
        mUnassociatedTrObjects.RemoveTO(uid);
    }
    for (const std::string& uid : gone) {
        ForgetOrKeepUnassociated(uid, unassociated);
    }

    for (const auto& [uid, record] : objects) {
        const auto managed = mTrObjects.find(uid);
        if (managed == mTrObjects.end()) {
            continue;
        }
        if (managed->second == record) {
            managed->second.mSrvState = srvState::NOT_CHANGED;
        } else {
            managed->second = record;
            managed->second.mSrvState = srvState::UPDATED;
        }
    }
}

void kelt::ResyncDeviceZones(CTrackableObject& object) {
    bool changed = false;
    for (auto& [zoneUid, entry] : object.mZones) {
        entry.mSrvState = srvState::DELETED;
    }
    for (const auto& [zoneUid, zone] : mZones) {
        if (!ZoneBelongsToTrObject(zone, object)) {
            continue;
        }
        const auto found = object.mZones.find(zoneUid);
        if (found == object.mZones.end()) {
            object.mZones.emplace(zoneUid, MakeZoneForDevice(zone));
            changed = true;
            continue;
        }
        CZoneForDevice& entry = found->second;
        const bool zoneChanged = zone.mSrvState == srvState::NEW || zone.mSrvState == srvState::UPDATED;
        entry.mSrvState = zoneChanged ? srvState::UPDATED : srvState::NOT_CHANGED;
        if (zoneChanged || entry.mDevState == DS_NEED_REMOVE) {
            changed = entry.Retarget(zone.mZoneID,
                                     zone.GetZoneDescriptor(m_boundary_in_type_id, m_boundary_out_type_id)) ||
                      changed;
        }
    }
    changed = EraseDeletedDeviceZones(object) || changed;

    const CDownloadStatus& status = object.mCurDownloadStatus;
    const bool upToDate =
        status.mName == DLS_UPDATED ||
        (status.mName == DLS_OUTDATED && status.mReason.Type() != DownloadStatusReason::CHANGE);
    if (changed && upToDate) {
        object.SetDownloadStatus(
            CDownloadStatus(DLS_OUTDATED, DownloadStatusReason::SimpleReason(DownloadStatusReason::CHANGE)));
    }
}

bool kelt::EraseDeletedDeviceZones(CTrackableObject& object) {
    bool changed = false;
    for (auto it = object.mZones.begin(); it != object.mZones.end();) {
        if (it->second.mSrvState != srvState::DELETED) {
            ++it;
            continue;
        }
        changed = true;
        it = it->second.StopApplying() ? std::next(it) : object.mZones.erase(it);
    }
    return changed;
}

}  // namespace ozra
