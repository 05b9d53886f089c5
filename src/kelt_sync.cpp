#include <tuple>
#include <unordered_map>
#include <utility>
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
        UpdateDescriptor(zone);
        zone.mSrvState = srvState::NOT_CHANGED;
    }
    RebuildCouplings();

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
    AddApplyingZonesToManaged();
}

void kelt::get_state_with_api() {
    // Everything is read before anything changes, so a failed read leaves the picture as it was.
    std::map<std::string, CZone> fresh;
    m_server->GetZones(m_zone_types, fresh);
    std::map<std::string, CTrackableObject> objects;
    std::set<std::string> unassociated;
    m_server->GetTrObjects(objects, unassociated);

    const CZoneChanges changes = ResyncZones(fresh);
    ResyncTrObjects(objects, unassociated);
    ResyncAllDeviceZones(changes);
}

void kelt::ResyncAllDeviceZones(const CZoneChanges& changes) {
    // Objects of one kind that share a table end with the same table: it is worked out once for them.
    struct CResult {
        CDeviceZoneTable mBefore;  // keeps the shared entries, and so the key, alive
        CDeviceZoneTable mAfter;
        bool mChanged;
    };
    const std::set<std::string> named = ExceptionNamedObjects();
    std::map<std::tuple<const void*, srvState, CKind>, CResult> results;
    for (auto& [uid, object] : mTrObjects) {
        if (named.count(uid) != 0 || !object.mZones.Shared()) {
            OutdateOnChange(object, ResyncDeviceZones(object, changes));
            continue;
        }
        auto key = std::make_tuple(object.mZones.SharedId(), object.mSrvState, KindOf(object));
        const auto found = results.find(key);
        if (found != results.end()) {
            object.mZones = found->second.mAfter;
            OutdateOnChange(object, found->second.mChanged);
            continue;
        }
        CDeviceZoneTable before = object.mZones;
        const bool changed = ResyncDeviceZones(object, changes);
        results.emplace(std::move(key), CResult{std::move(before), object.mZones, changed});
        OutdateOnChange(object, changed);
    }
}

kelt::CZoneChanges kelt::ResyncZones(const std::map<std::string, CZone>& fresh) {
    CZoneChanges changes;
    for (auto it = mZones.begin(); it != mZones.end();) {
        if (fresh.count(it->first) != 0) {
            ++it;
            continue;
        }
        changes.mRemoved.push_back(it->first);
        mDescriptors.erase(&it->second);
        it = mZones.erase(it);
    }
    for (const auto& [uid, zone] : fresh) {
        const auto [stored, inserted] = mZones.emplace(uid, zone);
        if (!inserted && stored->second == zone) {
            stored->second.mSrvState = srvState::NOT_CHANGED;
            continue;
        }
        if (!inserted) {
            stored->second = zone;
            stored->second.mSrvState = srvState::UPDATED;
        }
        UpdateDescriptor(stored->second);
    }
    const std::unordered_map<const CZone*, const CZone*> before = RebuildCouplings();
    for (const auto& [uid, zone] : mZones) {
        const auto couple = mCouplings.find(&zone);
        const auto coupleBefore = before.find(&zone);
        const CZone* coupled = couple != mCouplings.end() ? couple->second : nullptr;
        const CZone* coupledBefore = coupleBefore != before.end() ? coupleBefore->second : nullptr;
        if (IsNewOrUpdated(zone) || coupled != coupledBefore ||
            (coupled != nullptr && IsNewOrUpdated(*coupled))) {
            changes.mAffected.push_back(&zone);
        }
    }
    return changes;
}

void kelt::UpdateDescriptor(const CZone& zone) {
    if (!zone.CanBeEncoded()) {
        mDescriptors.erase(&zone);
        m_logger.warning(
            "Zone %1% (%2%, ID %3%) cannot be encoded for the devices (type ID %4%, %5% points); "
            "it is left out of every zone table") %
            zone.mUid % zone.mName % zone.mZoneID % zone.mType % zone.mPoints.size();
        return;
    }
    mDescriptors[&zone] = MakeDescriptor(
        zone.mUid, zone.mZoneID, zone.GetZoneDescriptor(m_boundary_in_type_id, m_boundary_out_type_id));
}

std::unordered_map<const CZone*, const CZone*> kelt::RebuildCouplings() {
    std::unordered_map<uint16_t, std::vector<const CZone*>> byId;
    for (const auto& [uid, zone] : mZones) {
        byId[zone.mZoneID].push_back(&zone);
    }
    std::unordered_map<const CZone*, const CZone*> couplings;
    for (const auto& [uid, zone] : mZones) {
        if (zone.mCoupled == 0) {
            continue;
        }
        const auto candidates = byId.find(zone.mCoupled);
        if (candidates == byId.end()) {
            continue;
        }
        for (const CZone* candidate : candidates->second) {
            if (m_manager->are_coupled(zone, *candidate)) {
                couplings.emplace(&zone, candidate);
                break;
            }
        }
    }
    mCouplings.swap(couplings);
    return couplings;
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

    std::set<std::string> associatedAgain;
    std::vector<std::string> gone;
    mUnassociatedTrObjects.ForEachTO([&](const std::string& uid) {
        const auto found = objects.find(uid);
        if (found != objects.end()) {
            ManageTrObject(uid, found->second).mSrvState = srvState::UPDATED;
            associatedAgain.insert(uid);
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
        // An object associated again may carry another device: it stays UPDATED, so its table is worked
        // out afresh.
        if (managed == mTrObjects.end() || associatedAgain.count(uid) != 0) {
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

bool kelt::ResyncDeviceZones(CTrackableObject& object, const CZoneChanges& changes) {
    bool changed = false;
    for (CZoneForDevice& entry : object.mZones) {
        entry.mSrvState = srvState::NOT_CHANGED;
    }
    if (object.mSrvState == srvState::NOT_CHANGED) {
        // Only the changed zones can change what this device must hold.
        for (const CZone* zone : changes.mAffected) {
            changed = ResyncDeviceZone(object, zone->mUid, zone) || changed;
        }
        for (const std::string& uid : changes.mRemoved) {
            changed = ResyncDeviceZone(object, uid, nullptr) || changed;
        }
    } else {
        std::vector<std::string> gone;
        for (const CZoneForDevice& entry : std::as_const(object.mZones)) {
            if (mZones.count(entry.ZoneUid()) == 0) {
                gone.push_back(entry.ZoneUid());
            }
        }
        for (const auto& [uid, zone] : mZones) {
            changed = ResyncDeviceZone(object, uid, &zone) || changed;
        }
        for (const std::string& uid : gone) {
            changed = ResyncDeviceZone(object, uid, nullptr) || changed;
        }
    }
    return changed;
}

void kelt::OutdateOnChange(CTrackableObject& object, bool changed) {
    const CDownloadStatus& status = object.mCurDownloadStatus;
    const bool upToDate =
        status.mName == DLS_UPDATED ||
        (status.mName == DLS_OUTDATED && status.mReason.Type() != DownloadStatusReason::CHANGE);
    if (changed && upToDate) {
        object.SetDownloadStatus(
            CDownloadStatus(DLS_OUTDATED, DownloadStatusReason::SimpleReason(DownloadStatusReason::CHANGE)));
    }
}

bool kelt::ResyncDeviceZone(CTrackableObject& object, const std::string& zoneUid, const CZone* zone) {
    const bool applies = zone != nullptr && ZoneBelongsToTrObject(*zone, object);
    const auto found = object.mZones.find(zoneUid);
    if (found == object.mZones.end()) {
        if (!applies) {
            return false;
        }
        object.mZones.insert(CZoneForDevice(mDescriptors.at(zone)));
        return true;
    }
    CZoneForDevice& entry = *found;
    if (!applies) {
        entry.mSrvState = srvState::DELETED;
        if (!entry.StopApplying()) {
            object.mZones.erase(found);
        }
        return true;
    }
    if (!IsNewOrUpdated(*zone) && entry.mDevState != DS_NEED_REMOVE) {
        return false;
    }
    entry.mSrvState = IsNewOrUpdated(*zone) ? srvState::UPDATED : srvState::NOT_CHANGED;
    return entry.Retarget(mDescriptors.at(zone));
}

}  // namespace ozra
