#pragma once

#include <json/value.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/events_loop.h"
#include "core/logger.h"
#include "core/message_stream.h"
#include "kelt-observer.h"
#include "manager.h"
#include "server.h"
#include "trackableobject.h"
#include "unknown-devices.h"
#include "zone.h"

namespace ozra {

// The controller: keeps every managed device's zone table in step with the location server.
class kelt {
public:
    kelt(libs::core::logger& logger, libs::core::events_loop& events_loop,
         libs::core::events_loop::signals_handle& signals, libs::core::message_stream& message_stream,
         std::string server_protocol, std::string server_address, uint32_t server_port,
         const std::set<std::string>& config_zone_types,
         std::size_t server_connections = CServer::default_connections);
    virtual ~kelt();
    kelt(const kelt&) = delete;
    kelt& operator=(const kelt&) = delete;

    // Server client, start-up synchronisation (retried), processing timer, subscriptions.
    void initialize();
    // One periodic run: re-read the server when stale, supervise every device, report statuses.
    void processing();
    // Told of failed start-up attempts and of every processing run; must outlive the controller.
    void SetObserver(CKeltObserver* observer) { m_observer = observer; }

    void init_context_from_zone_download_status();
    void get_state_with_api();

    bool ZoneBelongsToTrObject(const CZone& zone, const CTrackableObject& object) const;
    CTrackableObject& EnsureTrackableExists(const std::string& uid);
    void UpdateTO(const std::string& uid);
    void VerifyTO(const std::string& uid);
    void ZonesReport(const std::string& uid);

    // Device replies ("user_msg").
    void user_msg_handler(const std::string& message);
    bool ZoneActionStatusReport(const std::string& uid, uint32_t zoneId, uint32_t errorCode);
    void CrcResponse(const std::string& uid, uint32_t crc);
    bool EraseAllConfirm(const std::string& uid, uint32_t errorCode);
    bool DownloadCompleteConfirm(const std::string& uid, uint32_t crc);
    void CrcReport(const std::string& uid, uint32_t crc);
    bool ResponseDownloadRequest(const std::string& uid, uint32_t code);

    // Server notifications ("notify").
    void notify_handler(const std::string& message);
    void notify_handler_zone(const Json::Value& notification);
    void notify_handler_group(const Json::Value& notification);
    void notify_handler_trackable_object(const Json::Value& notification);
    void notify_handler_trackable_object_group(const Json::Value& notification);
    void notify_handler_trackable_object_association(const Json::Value& notification);
    void notify_handler_zone_download_request(const Json::Value& notification);

    // Read access to the picture of the server.
    const std::map<std::string, CZone>& Zones() const { return mZones; }
    // Returns when every request queued for the background has ended.
    void WaitForAsyncOperations() { m_server->WaitForAsyncOperations(); }
    const std::map<std::string, CTrackableObject>& TrObjects() const { return mTrObjects; }
    std::map<std::string, CTrackableObject>& TrObjects() { return mTrObjects; }
    const CUnassociatedTrackableObjects& UnassociatedTrObjects() const { return mUnassociatedTrObjects; }
    const std::map<std::string, uint16_t>& ZoneTypes() const { return m_zone_types; }
    bool IsContextActual() const { return m_actual_context; }

    friend std::ostream& operator<<(std::ostream& stream, const kelt& controller);

private:
    // Runs f and logs whatever it raises.
    template <class F>
    void CatchAndLog(F&& f) const;
    // Sleeps the start-up retry delay; returns early when a termination signal arrives.
    void SleepBeforeRetry() const;

    // What a re-read changed in the zone map: zones whose rule for a device may have changed (new,
    // updated, or with another or changed coupled zone), and the uids of the zones that are gone.
    struct CZoneChanges {
        std::vector<const CZone*> mAffected;
        std::vector<std::string> mRemoved;
    };

    void SetBoundaryTypeIds();
    // Computes the zone's descriptor for every device; a zone that cannot be encoded is warned about and
    // left out of every table.
    void UpdateDescriptor(const CZone& zone);
    // Finds every zone's coupled zone; returns the couplings found before.
    std::unordered_map<const CZone*, const CZone*> RebuildCouplings();
    static bool IsNewOrUpdated(const CZone& zone) {
        return zone.mSrvState == srvState::NEW || zone.mSrvState == srvState::UPDATED;
    }
    // Inserts every applying zone that the object's table lacks.
    void AddApplyingZones(CTrackableObject& object);
    // The same for every managed object.
    void AddApplyingZonesToManaged();
    CDeviceZoneTable ApplyingZones(const CTrackableObject& object) const;
    // Shares the table with an object that holds no zones yet.
    void AddZones(CTrackableObject& object, const CDeviceZoneTable& zones);
    // The objects a zone names as an exception; the zones of every other object follow from its kind.
    std::set<std::string> ExceptionNamedObjects() const;
    using CKind = std::pair<std::string, std::set<std::string>>;  // project uid, groups
    static CKind KindOf(const CTrackableObject& object);
    // Manages a copy of the server's record for uid; returns the stored entry.
    CTrackableObject& ManageTrObject(const std::string& uid, const CTrackableObject& record);
    // The uid left the server's associated objects: keep it as unassociated or forget it.
    void ForgetOrKeepUnassociated(const std::string& uid, const std::set<std::string>& unassociated);

    CZoneChanges ResyncZones(const std::map<std::string, CZone>& fresh);
    void ResyncTrObjects(const std::map<std::string, CTrackableObject>& objects,
                         const std::set<std::string>& unassociated);
    void ResyncAllDeviceZones(const CZoneChanges& changes);
    // Brings the object's table in line with the changes; true when the device has new work.
    bool ResyncDeviceZones(CTrackableObject& object, const CZoneChanges& changes);
    // An object up to date becomes OUTDATED by the change when its device has new work.
    void OutdateOnChange(CTrackableObject& object, bool changed);
    // Brings the object's entry for the zone (null: the zone is gone) in line; true when the device has
    // new work.
    bool ResyncDeviceZone(CTrackableObject& object, const std::string& zoneUid, const CZone* zone);

    // Activity check shared by the reply handlers for a request that must be outstanding.
    bool IsRequested(const CTrackableObject& object, activityStatus_t activity, const char* message) const;
    // After a confirmed step: next batch of zone changes, or the download complete when none is left.
    void ContinueDownload(CTrackableObject& object);
    // After a matching CRC: UPDATED when the device holds what it must, else OUTDATED by the change that
    // came meanwhile.
    void SetUpdatedUnlessPending(CTrackableObject& object);
    void ReportFirstFailedZone(CTrackableObject& object);

    bool IsDataAction(const Json::Value& notification, std::initializer_list<const char*> actions) const;
    void ClearContext();

    // Posts the statuses set since the last report; after a failure, the tags it carried are reported
    // again once the failed request can no longer land on the server.
    void ReportStatuses();
    void ReportAgainWhenDue();

    libs::core::logger& m_logger;
    libs::core::events_loop& m_events_loop;
    libs::core::events_loop::signals_handle& m_signals;
    libs::core::message_stream& m_message_stream;
    const std::string m_server_protocol;
    const std::string m_server_address;
    const uint32_t m_server_port;
    const std::set<std::string>& m_config_zone_types;
    const std::size_t m_server_connections;
    std::map<std::string, uint16_t> m_zone_types;
    uint16_t m_boundary_in_type_id = 0;
    uint16_t m_boundary_out_type_id = 0;
    std::unique_ptr<libs::core::periodic_timer> m_processing_timer;
    std::unique_ptr<libs::core::message_stream::subscription> m_notify_subscription;
    std::unique_ptr<libs::core::message_stream::subscription> m_user_msg_subscription;
    std::unique_ptr<CServer> m_server;
    std::unique_ptr<manager> m_manager;
    std::map<std::string, CZone> mZones;
    std::unordered_map<const CZone*, CDescriptorRef> mDescriptors;  // of the zones that can be encoded
    std::unordered_map<const CZone*, const CZone*> mCouplings;
    std::map<std::string, CTrackableObject> mTrObjects;
    CUnassociatedTrackableObjects mUnassociatedTrObjects;
    bool m_actual_context = false;
    CUnknownDevices mUnknownDevices;
    std::set<std::string> mReportAgain;
    std::chrono::steady_clock::time_point mReportAgainAt{};
    CKeltObserver* m_observer = nullptr;
};

std::ostream& operator<<(std::ostream& stream, const kelt& controller);

}  // namespace ozra
