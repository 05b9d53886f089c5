// Incremental re-reads against a full recomputation. Each input is a run of steps: server changes (zones
// added, removed, moved to another ID, retyped, re-coupled, reshaped, barred, moved to another project;
// tags associated, unassociated, regrouped, moved to another project), device replies (faithful,
// failing, lost on either way, held back and delivered late, unasked CRC reports), time-outs, server
// requests and processing runs. After every step:
// - each managed tag's table holds, apart from the zones to delete, the zones and descriptors that a
//   controller started afresh on the same server data gives it (once the controller has re-read);
// - what the controller takes a settled device (no request outstanding, UPDATED or OUTDATED) to hold is
//   what the device holds;
// - an UPDATED tag has nothing left to send.
// At the end every device is brought up to date and must hold exactly the zones of the fresh controller.
// A difference aborts, naming the tag and the zone.
#include <sys/time.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "harness/controller_site.h"
#include "harness/site_picture.h"
#include "simulator/tag_zone_manager.h"

namespace {

using ozra::CTrackableObject;
using ozra::CZoneForDevice;
using varnok::fuzz::controller_site;
using varnok::test_tools::rest_resources;
using varnok::test_tools::tag_zone_manager;

constexpr std::size_t zone_slots = 6;
constexpr std::size_t tag_count = 3;
constexpr unsigned largest_zone_id = 8;
constexpr std::size_t most_steps = 96;
constexpr int settle_rounds = 12;
constexpr long answer_timeout_seconds = 11;
const char* const type_names[] = {"alarm", "boundary_in", "boundary_out"};
const char* const group_names[] = {"g1", "g2"};

class input {
public:
    input(const uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    bool empty() const { return m_size == 0; }
    unsigned next(unsigned limit) {
        if (m_size == 0) {
            return 0;
        }
        --m_size;
        return *m_data++ % limit;
    }

private:
    const uint8_t* m_data;
    std::size_t m_size;
};

struct zone_model {
    bool present = false;
    unsigned id = 0;
    unsigned type = 0;
    unsigned size = 1;
    unsigned coupled = 0;
    bool default_allowed = false;
    unsigned barred_tags = 0;    // one bit per tag
    unsigned barred_groups = 0;  // one bit per group
    bool other_project = false;
};

struct tag_model {
    bool associated = true;
    unsigned groups = 1;  // one bit per group
    bool other_project = false;
};

std::string tag_uid(std::size_t tag) {
    return "t" + std::to_string(tag);
}

[[noreturn]] void fail(const std::string& tag, const std::string& zone, const std::string& what) {
    std::fprintf(stderr, "tag %s, zone %s: %s\n", tag.c_str(), zone.c_str(), what.c_str());
    std::abort();
}

Json::Value strings(unsigned bits, std::size_t count, std::string (*name)(std::size_t)) {
    Json::Value list(Json::arrayValue);
    for (std::size_t i = 0; i < count; ++i) {
        if ((bits >> i & 1U) != 0) {
            list.append(name(i));
        }
    }
    return list;
}

std::string group_name(std::size_t group) {
    return group_names[group];
}

Json::Value zone_json(std::size_t slot, const zone_model& zone) {
    Json::Value json;
    json["uid"] = "z" + std::to_string(slot);
    json["active"] = true;
    json["dynamic"] = false;
    json["project_uid"] = zone.other_project ? "p2" : "p1";
    json["name"] = "zone " + std::to_string(slot);
    json["default_allowed"] = zone.default_allowed;
    json["zone_type_name"] = type_names[zone.type];
    json["zone_exceptions"] = strings(zone.barred_tags, tag_count, tag_uid);
    json["zone_exceptions_groups"] = strings(zone.barred_groups, 2, group_name);
    const int extent = static_cast<int>(zone.size * 10 + slot);
    for (const auto& [x, y] : {std::pair{0, 0}, std::pair{extent, 0}, std::pair{0, extent}}) {
        Json::Value point;
        point["x"] = x;
        point["y"] = y;
        json["zone_geometry"]["positions"].append(point);
    }
    json["sublocation_id"] = 1;
    json["zone_id"] = zone.id;
    if (zone.coupled != 0) {
        json["user_params"]["coupled"] = zone.coupled;
    }
    return json;
}

Json::Value tag_json(std::size_t tag, const tag_model& model) {
    Json::Value json;
    json["uid"] = tag_uid(tag);
    const char* project = model.other_project ? "p2" : "p1";
    if (!model.associated) {
        json["project_uid"] = project;
        return json;
    }
    json["node"]["project_uid"] = project;
    json["node"]["mac_address"] = "00112233445" + std::to_string(tag);
    json["node"]["groups"] = strings(model.groups, 2, group_name);
    return json;
}

// Descriptors by zone ID.
using id_table = std::map<uint16_t, std::vector<uint8_t>>;

// What the controller takes the device to hold.
id_table believed_table(const CTrackableObject& object) {
    id_table table;
    for (const CZoneForDevice& entry : object.mZones) {
        if (const auto* held = entry.HeldDescriptor()) {
            if (!table.emplace(entry.HeldZoneID(), held->Bytes()).second) {
                fail(object.mUid, entry.ZoneUid(), "a second zone taken to be held under its ID");
            }
        }
    }
    return table;
}

// The zone whose entry names the ID, for the message of a failure.
std::string zone_with_id(const CTrackableObject& object, uint16_t id) {
    for (const CZoneForDevice& entry : object.mZones) {
        if (entry.HeldZoneID() == id || entry.ZoneID() == id) {
            return entry.ZoneUid();
        }
    }
    return "with ID " + std::to_string(id);
}

class resync_run {
public:
    explicit resync_run(controller_site& site) : m_site(site) {
        for (std::size_t slot = 0; slot < 4; ++slot) {
            m_zones[slot].present = true;
            m_zones[slot].id = static_cast<unsigned>(slot + 1);
        }
        m_site.resources().set_array(rest_resources::zone_types_member,
                                     varnok::fuzz::default_picture().zone_types);
        Json::Value statuses(Json::arrayValue);
        for (std::size_t tag = 0; tag < tag_count; ++tag) {
            Json::Value status;
            status["trackable_uid"] = tag_uid(tag);
            status["download_status"] = "UPDATED";
            status["ts"] = "2026-12-01T10:00:00.000Z";
            statuses.append(status);
            m_devices.emplace(tag_uid(tag), tag_zone_manager());
        }
        m_site.resources().set_array(rest_resources::statuses_member, statuses);
        serve();
        m_site.set_frame_observer([this](const std::string& uid, const std::string& hex) {
            std::lock_guard lock(m_mutex);
            m_frames[uid].push_back(hex);
        });
        m_controller = m_site.new_controller();
    }

    ~resync_run() {
        m_fresh.reset();
        m_controller.reset();
        m_site.set_frame_observer(nullptr);
        m_site.run_ready_handlers();
    }

    void step(input& in) {
        const unsigned op = in.next(23);
        if (op <= 10) {
            if (change_server(op, in)) {
                serve();
                m_site.notify(*m_controller, op <= 7 ? R"({"object":"ZONE"})"
                                                     : R"({"object":"TRACKABLE_OBJECT","action":"updated"})");
                m_current = false;
                m_fresh.reset();
            }
            return;
        }
        const std::string uid = tag_uid(in.next(tag_count));
        tag_zone_manager& device = m_devices.at(uid);
        switch (op) {
            case 11:
            case 12:
                process();
                break;
            case 13:
                answer(uid, deliver::now);
                break;
            case 14: {
                varnok::test_tools::tag_faults faults;
                faults.rejects_downloads = in.next(4) == 0;
                faults.failing_zones[static_cast<uint16_t>(in.next(largest_zone_id) + 1)] =
                    static_cast<uint8_t>(in.next(3) + 1);
                device.set_faults(faults);
                answer(uid, deliver::now);
                device.set_faults({});
                break;
            }
            case 15:
                take_frame(uid);
                break;
            case 16:
                answer(uid, deliver::never);
                break;
            case 17:
                answer(uid, deliver::later);
                break;
            case 18:
                deliver_late(uid);
                break;
            case 19:
                reply(uid, device.crc_report());
                break;
            case 20:
                for (auto& [managed, object] : m_controller->TrObjects()) {
                    object.mActivityTime.tv_sec -= answer_timeout_seconds;
                }
                break;
            default:
                request(op == 21 ? "UPDATE" : "VERIFY", uid);
                break;
        }
    }

    void check() {
        for (const auto& [uid, object] : m_controller->TrObjects()) {
            if (object.mCurDownloadStatus.mName == ozra::DLS_UPDATED) {
                for (const CZoneForDevice& entry : object.mZones) {
                    if (entry.mDevState != ozra::DS_DOWNLOADED) {
                        fail(uid, entry.ZoneUid(),
                             std::string("UPDATED while the zone is ") + ozra::DevStateName(entry.mDevState));
                    }
                }
            }
            if (settled(object)) {
                compare_with_device(object);
            }
        }
        if (m_current) {
            compare_with_fresh();
        }
    }

    // Brings every device up to date without faults; then each must hold exactly its zones.
    void settle() {
        m_late.clear();
        m_site.notify(*m_controller, R"({"object":"ZONE"})");
        process();
        for (int round = 0; round < settle_rounds; ++round) {
            bool updated = true;
            for (const auto& [uid, object] : m_controller->TrObjects()) {
                if (object.mCurDownloadStatus.mName != ozra::DLS_UPDATED) {
                    updated = false;
                    request("UPDATE", uid);
                }
            }
            if (updated) {
                break;
            }
            answer_all();
            for (auto& [uid, object] : m_controller->TrObjects()) {
                object.mActivityTime.tv_sec -= answer_timeout_seconds;
            }
            process();
            answer_all();
            check();
        }
        for (std::size_t tag = 0; tag < tag_count; ++tag) {
            const auto managed = m_controller->TrObjects().find(tag_uid(tag));
            if (managed == m_controller->TrObjects().end()) {
                if (m_tags[tag].associated) {
                    fail(tag_uid(tag), "-", "associated, but not managed after settling");
                }
                continue;
            }
            const CTrackableObject& object = managed->second;
            if (object.mCurDownloadStatus.mName != ozra::DLS_UPDATED) {
                fail(object.mUid, "-", "not UPDATED after settling");
            }
            const CTrackableObject& fresh = fresh_object(object.mUid);
            id_table expected;
            for (const CZoneForDevice& entry : fresh.mZones) {
                expected.emplace(entry.ZoneID(), entry.mDescriptor->Bytes());
            }
            const id_table& held = m_devices.at(object.mUid).zones();
            for (const auto& [id, bytes] : expected) {
                const auto found = held.find(id);
                if (found == held.end() || found->second != bytes) {
                    fail(object.mUid, zone_with_id(fresh, id), "missing or different on the settled device");
                }
            }
            for (const auto& [id, bytes] : held) {
                if (expected.count(id) == 0) {
                    fail(object.mUid, zone_with_id(object, id), "left on the settled device");
                }
            }
        }
    }

private:
    enum class deliver { now, later, never };

    unsigned free_id(unsigned wanted, std::size_t except) const {
        for (std::size_t slot = 0; slot < zone_slots; ++slot) {
            if (slot != except && m_zones[slot].present && m_zones[slot].id == wanted) {
                return 0;
            }
        }
        return wanted;
    }

    // Applies a server change; false when it changes nothing.
    bool change_server(unsigned op, input& in) {
        if (op >= 8) {
            tag_model& tag = m_tags[in.next(tag_count)];
            if (op == 8) {
                tag.associated = !tag.associated;
            } else if (op == 9) {
                tag.groups = in.next(4);
            } else {
                tag.other_project = !tag.other_project;
            }
            return true;
        }
        const std::size_t slot = in.next(zone_slots);
        zone_model& zone = m_zones[slot];
        if (op == 0) {
            const unsigned id = free_id(in.next(largest_zone_id) + 1, slot);
            if (id == 0) {
                return false;
            }
            zone = zone_model{true, id, in.next(3), in.next(4) + 1, in.next(largest_zone_id + 1)};
            return true;
        }
        if (!zone.present) {
            return false;
        }
        switch (op) {
            case 1:
                zone.present = false;
                return true;
            case 2: {
                const unsigned id = free_id(in.next(largest_zone_id) + 1, slot);
                zone.id = id != 0 ? id : zone.id;
                return id != 0;
            }
            case 3:
                zone.type = in.next(3);
                return true;
            case 4:
                zone.coupled = in.next(largest_zone_id + 1);
                return true;
            case 5:
                zone.size = in.next(4) + 1;
                return true;
            case 6:
                zone.default_allowed = in.next(2) == 1;
                zone.barred_tags = in.next(1U << tag_count);
                zone.barred_groups = in.next(4);
                return true;
            default:
                zone.other_project = !zone.other_project;
                return true;
        }
    }

    void serve() {
        Json::Value zones(Json::arrayValue);
        for (std::size_t slot = 0; slot < zone_slots; ++slot) {
            if (m_zones[slot].present) {
                zones.append(zone_json(slot, m_zones[slot]));
            }
        }
        Json::Value tags(Json::arrayValue);
        for (std::size_t tag = 0; tag < tag_count; ++tag) {
            tags.append(tag_json(tag, m_tags[tag]));
        }
        m_site.resources().set_array(rest_resources::zones_member, zones);
        m_site.resources().set_array(rest_resources::trackables_member, tags);
    }

    void process() {
        m_site.process(*m_controller);
        if (m_controller->IsContextActual()) {
            m_current = true;
        }
    }

    void request(const std::string& action, const std::string& uid) {
        m_site.notify(*m_controller, R"({"object":"ZONE_DOWNLOAD_REQUEST","action":")" + action +
                                         R"(","plist":{"zone_download_request":[{"trackable_uid":")" + uid +
                                         R"("}]}})");
    }

    // The oldest frame posted to the device and not yet received, if any.
    std::optional<std::string> take_frame(const std::string& uid) {
        m_controller->WaitForAsyncOperations();
        std::lock_guard lock(m_mutex);
        std::deque<std::string>& frames = m_frames[uid];
        if (frames.empty()) {
            return std::nullopt;
        }
        std::string frame = std::move(frames.front());
        frames.pop_front();
        return frame;
    }

    void answer(const std::string& uid, deliver when) {
        const auto frame = take_frame(uid);
        if (!frame) {
            return;
        }
        const auto answer = m_devices.at(uid).receive(*frame);
        if (when == deliver::now) {
            reply(uid, answer);
        } else if (when == deliver::later && answer) {
            m_late[uid].push_back(*answer);
        }
    }

    void answer_all() {
        for (bool answered = true; answered;) {
            answered = false;
            for (std::size_t tag = 0; tag < tag_count; ++tag) {
                if (const auto frame = take_frame(tag_uid(tag))) {
                    reply(tag_uid(tag), m_devices.at(tag_uid(tag)).receive(*frame));
                    answered = true;
                }
            }
        }
    }

    void deliver_late(const std::string& uid) {
        std::deque<std::string>& late = m_late[uid];
        if (!late.empty()) {
            reply(uid, late.front());
            late.pop_front();
        }
    }

    void reply(const std::string& uid, const std::optional<std::string>& hex) {
        if (hex) {
            m_site.user_msg(*m_controller, R"({"dev_id":")" + uid + R"(","hex":")" + *hex + R"("})");
        }
    }

    static bool settled(const CTrackableObject& object) {
        const auto status = object.mCurDownloadStatus.mName;
        return object.mActivityStatus == ozra::ACT_NONE &&
               (status == ozra::DLS_UPDATED || status == ozra::DLS_OUTDATED);
    }

    void compare_with_device(const CTrackableObject& object) {
        const tag_zone_manager& device = m_devices.at(object.mUid);
        const id_table believed = believed_table(object);
        // Equal CRCs over different tables are a collision the controller cannot see.
        if (believed == device.zones() || device.crc() == object.CurrentCRC(false)) {
            return;
        }
        for (const auto& [id, bytes] : believed) {
            const auto found = device.zones().find(id);
            if (found == device.zones().end() || found->second != bytes) {
                fail(object.mUid, zone_with_id(object, id), "taken to be held, but the device differs");
            }
        }
        for (const auto& [id, bytes] : device.zones()) {
            if (believed.count(id) == 0) {
                fail(object.mUid, zone_with_id(object, id), "held by the device, but not taken to be");
            }
        }
    }

    const CTrackableObject& fresh_object(const std::string& uid) {
        if (!m_fresh) {
            m_fresh = m_site.new_controller();
        }
        try {
            return m_fresh->EnsureTrackableExists(uid);
        } catch (...) {
            fail(uid, "-", "managed, but the server does not list it with a device");
        }
    }

    void compare_with_fresh() {
        for (const auto& [uid, object] : m_controller->TrObjects()) {
            std::map<std::string, std::string> incremental;
            for (const CZoneForDevice& entry : object.mZones) {
                if (entry.mDevState != ozra::DS_NEED_REMOVE) {
                    incremental.emplace(entry.ZoneUid(), entry.mDescriptor->Hex());
                }
            }
            std::map<std::string, std::string> full;
            for (const CZoneForDevice& entry : fresh_object(uid).mZones) {
                full.emplace(entry.ZoneUid(), entry.mDescriptor->Hex());
            }
            for (const auto& [zone, descriptor] : full) {
                const auto found = incremental.find(zone);
                if (found == incremental.end()) {
                    fail(uid, zone, "missing from the table the re-read left");
                }
                if (found->second != descriptor) {
                    fail(uid, zone, "another descriptor than a full recomputation gives");
                }
            }
            for (const auto& [zone, descriptor] : incremental) {
                if (full.count(zone) == 0) {
                    fail(uid, zone, "kept although a full recomputation drops it");
                }
            }
        }
    }

    controller_site& m_site;
    zone_model m_zones[zone_slots];
    tag_model m_tags[tag_count];
    std::mutex m_mutex;
    std::map<std::string, std::deque<std::string>> m_frames;  // posted, not yet received; under m_mutex
    std::map<std::string, tag_zone_manager> m_devices;
    std::map<std::string, std::deque<std::string>> m_late;  // replies held back
    std::unique_ptr<ozra::kelt> m_controller;
    std::unique_ptr<ozra::kelt> m_fresh;  // started on the current server data; made when first needed
    bool m_current = false;               // the controller re-read the server since it last changed
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("OZRA_LAUNCHED_BY_SYSTEMD", "1", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static controller_site site;
    input in(data, size);
    resync_run run(site);
    for (std::size_t step = 0; step < most_steps && !in.empty(); ++step) {
        run.step(in);
        run.check();
    }
    run.settle();
    return 0;
}
