#include "kelt.h"

#include <sys/time.h>

#include <chrono>
#include <thread>

#include "core/exception.h"
#include "http-status-error.h"

namespace ozra {

namespace {

constexpr std::chrono::seconds retry_delay{5};
constexpr std::chrono::milliseconds signal_poll_interval{50};
constexpr std::chrono::nanoseconds processing_period{1'000'000'000};

}  // namespace

kelt::kelt(libs::core::logger& logger, libs::core::events_loop& events_loop,
           libs::core::events_loop::signals_handle& signals, libs::core::message_stream& message_stream,
           std::string server_protocol, std::string server_address, uint32_t server_port,
           const std::set<std::string>& config_zone_types, std::size_t server_connections)
    : m_logger(logger),
      m_events_loop(events_loop),
      m_signals(signals),
      m_message_stream(message_stream),
      m_server_protocol(std::move(server_protocol)),
      m_server_address(std::move(server_address)),
      m_server_port(server_port),
      m_config_zone_types(config_zone_types),
      m_server_connections(server_connections),
      m_manager(std::make_unique<manager>()) {}

kelt::~kelt() {
    m_server.reset();
}

template <class F>
void kelt::CatchAndLog(F&& f) const {
    try {
        f();
    } catch (...) {
        m_logger.log_exception();
    }
}

void kelt::initialize() {
    m_server = std::make_unique<CServer>(m_server_protocol, m_server_address, m_server_port, m_logger,
                                         m_server_connections);
    for (;;) {
        try {
            init_context_from_zone_download_status();
            break;
        } catch (...) {
            m_logger.log_exception();
            TellStartupFailed(m_observer);
        }
        if (m_signals.signal_is_received()) {
            OZRA_THROW("Interrupted");
        }
        SleepBeforeRetry();
    }
    m_processing_timer = m_events_loop.create_periodic_timer(
        processing_period, "processing", [this](auto) { CatchAndLog([this] { processing(); }); });
    m_notify_subscription = m_message_stream.subscribe("notify", [this](std::string_view text) {
        CatchAndLog([this, message = std::string(text)] { notify_handler(message); });
    });
    m_user_msg_subscription = m_message_stream.subscribe("user_msg", [this](std::string_view text) {
        CatchAndLog([this, message = std::string(text)] { user_msg_handler(message); });
    });
}

void kelt::SleepBeforeRetry() const {
    const auto end = std::chrono::steady_clock::now() + retry_delay;
    while (!m_signals.signal_is_received()) {
        const auto left = end - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero()) {
            return;
        }
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(left, signal_poll_interval));
    }
}

void kelt::processing() {
    const CObservedRun observed(m_observer, *this);
    ReportAgainWhenDue();
    if (!m_actual_context) {
        ReportStatuses();
        get_state_with_api();
        m_actual_context = true;
    }
    timeval now{};
    gettimeofday(&now, nullptr);
    for (auto& entry : mTrObjects) {
        CTrackableObject& object = entry.second;
        CatchAndLog([&] { object.Supervise(*m_server, now); });
    }
    ReportStatuses();
}

void kelt::ReportStatuses() {
    try {
        m_server->SendZoneDownloadStatus(mTrObjects, mUnassociatedTrObjects);
    } catch (...) {
        for (const auto& [uid, object] : mTrObjects) {
            if (!object.mDownloadStatusHistory.empty()) {
                mReportAgain.insert(uid);
            }
        }
        mReportAgainAt = std::chrono::steady_clock::now() + CServer::request_timeout;
        throw;
    }
}

void kelt::ReportAgainWhenDue() {
    if (mReportAgain.empty() || std::chrono::steady_clock::now() < mReportAgainAt) {
        return;
    }
    for (const std::string& uid : mReportAgain) {
        const auto found = mTrObjects.find(uid);
        if (found != mTrObjects.end()) {
            found->second.ReportStatusAgain();
        }
    }
    mReportAgain.clear();
}

bool kelt::ZoneBelongsToTrObject(const CZone& zone, const CTrackableObject& object) const {
    if (!zone.CanBeEncoded() || !m_manager->tr_object_works_with_zone(zone, object)) {
        return false;
    }
    if (m_zone_types.count("boundary_in") == 0 || m_zone_types.count("boundary_out") == 0) {
        return true;
    }
    if (zone.mType != m_boundary_in_type_id && zone.mType != m_boundary_out_type_id) {
        return true;
    }
    const auto coupled = mCouplings.find(&zone);
    return coupled != mCouplings.end() && m_manager->tr_object_works_with_zone(*coupled->second, object);
}

CDeviceZoneTable kelt::ApplyingZones(const CTrackableObject& object) const {
    std::vector<CZoneForDevice> entries;
    for (const auto& [zoneUid, zone] : mZones) {
        if (ZoneBelongsToTrObject(zone, object)) {
            entries.emplace_back(mDescriptors.at(&zone));
        }
    }
    CDeviceZoneTable table;
    table.assign_sorted(std::move(entries));
    return table;
}

void kelt::AddApplyingZones(CTrackableObject& object) {
    AddZones(object, ApplyingZones(object));
}

void kelt::AddZones(CTrackableObject& object, const CDeviceZoneTable& zones) {
    if (object.mZones.empty()) {
        object.mZones = zones;
        return;
    }
    for (const CZoneForDevice& entry : zones) {
        object.mZones.insert(entry);
    }
}

std::set<std::string> kelt::ExceptionNamedObjects() const {
    std::set<std::string> named;
    for (const auto& [zoneUid, zone] : mZones) {
        named.insert(zone.mExceptions.begin(), zone.mExceptions.end());
    }
    return named;
}

kelt::CKind kelt::KindOf(const CTrackableObject& object) {
    return {object.mProjectUid, object.mGroups};
}

void kelt::AddApplyingZonesToManaged() {
    // Which zones apply depends on the project and the groups alone, but for the objects that a zone
    // names as an exception: the others of one kind share one table.
    const std::set<std::string> named = ExceptionNamedObjects();
    std::map<CKind, CDeviceZoneTable> byKind;
    for (auto& [uid, object] : mTrObjects) {
        if (named.count(uid) != 0) {
            AddApplyingZones(object);
            continue;
        }
        const auto [kind, inserted] = byKind.try_emplace(KindOf(object));
        if (inserted) {
            kind->second = ApplyingZones(object);
        }
        AddZones(object, kind->second);
    }
}

CTrackableObject& kelt::EnsureTrackableExists(const std::string& uid) {
    const auto found = mTrObjects.find(uid);
    if (found != mTrObjects.end()) {
        return found->second;
    }
    CTrackableObject record(m_logger);
    bool known = false;
    try {
        known = m_server->GetTrObject(uid, record);
    } catch (const CHttpStatusError& error) {
        // A refused look-up concerns this uid only; a failing server suspends all of them.
        if (error.ClientError()) {
            mUnknownDevices.Remember(uid, std::chrono::steady_clock::now());
        } else {
            mUnknownDevices.SuspendLookups(std::chrono::steady_clock::now());
        }
        throw;
    } catch (...) {
        mUnknownDevices.SuspendLookups(std::chrono::steady_clock::now());
        throw;
    }
    if (!known) {
        mUnknownDevices.Remember(uid, std::chrono::steady_clock::now());
        OZRA_THROW("EnsureTrackableExists: could not get trackable object from server");
    }
    CTrackableObject& object = ManageTrObject(uid, record);
    mUnassociatedTrObjects.RemoveTO(uid);
    AddApplyingZones(object);
    return object;
}

void kelt::UpdateTO(const std::string& uid) {
    const auto found = mTrObjects.find(uid);
    if (found != mTrObjects.end() && found->second.mCurDownloadStatus.mName == DLS_UPDATED) {
        // The server asks although the tag is up to date: its stored status is stale.
        m_logger.debug("Nothing to update; UPDATED is reported again");
        found->second.ReportStatusAgain();
        return;
    }
    if (found == mTrObjects.end() || found->second.mActivityStatus != ACT_NONE) {
        m_logger.debug("Nothing to update");
        return;
    }
    CTrackableObject& object = found->second;
    for (CZoneForDevice& zone : object.mZones) {
        zone.ClearErrors();
        zone.mTooBig = false;
    }
    object.ZoneDownloadRequest(*m_server);
}

void kelt::VerifyTO(const std::string& uid) {
    const auto found = mTrObjects.find(uid);
    if (found != mTrObjects.end() && found->second.mActivityStatus == ACT_NONE) {
        found->second.Verify(*m_server);
    }
}

void kelt::ZonesReport(const std::string& uid) {
    CTrackableObject& object = EnsureTrackableExists(uid);
    if (object.mCurDownloadStatus.mName != DLS_OOSYNC) {
        ContinueDownload(object);
    }
}

void kelt::ContinueDownload(CTrackableObject& object) {
    if (!object.DownloadingZones(*m_server)) {
        object.ZoneDownloadCompleted(*m_server);
    }
}

std::ostream& operator<<(std::ostream& stream, const kelt& controller) {
    stream << "=====================================" << std::endl;
    for (const auto& [uid, object] : controller.mTrObjects) {
        stream << "TO:" << object;
    }
    for (const auto& [uid, zone] : controller.mZones) {
        stream << "ZONE:" << zone;
    }
    return stream;
}

}  // namespace ozra
