// Incremental re-reads against a full recomputation. Each input is a run of steps: server changes to zones
// (added, removed, given another ID, type, coupling, size, exceptions or project) and to tags (associated
// or not, regrouped, moved to another project), device replies (faithful, failing, lost, held back and
// delivered late, unasked CRC reports), time-outs, server requests and processing runs. After every step:
// - an UPDATED tag has nothing left to send;
// - what the controller takes a settled device (no request outstanding, UPDATED or OUTDATED) to hold is
//   what the device holds;
// - once the controller has re-read, each tag's table holds, apart from the zones to delete, the zones and
//   descriptors that a controller started afresh on the same server data gives it.
// At the end every device is brought up to date and must hold exactly the zones of the fresh controller.
// A difference aborts, naming the tag and the zone.
#include <algorithm>
#include <functional>

#include "harness/controller_site.h"
#include "simulator/tag_zone_manager.h"

namespace {

using ozra::CTrackableObject;
using ozra::CZoneForDevice;
using varnok::test_tools::hex_from_bytes;
using varnok::test_tools::tag_zone_manager;

constexpr std::size_t zone_slots = 6;
constexpr std::size_t tag_count = 3;
constexpr unsigned largest_zone_id = 8;
constexpr long answer_timeout_seconds = 11;
const char* const type_names[] = {"alarm", "boundary_in", "boundary_out"};

struct input {
    const uint8_t* data;
    std::size_t size;
    unsigned next(unsigned limit) { return size == 0 ? 0 : (--size, *data++ % limit); }
};

struct zone_model {
    bool present = false;
    unsigned id = 0, type = 0, size = 1, coupled = 0;
    unsigned barred_tags = 0, barred_groups = 0;  // one bit per tag, per group
    bool default_allowed = false, other_project = false;
};

struct tag_model {
    bool associated = true, other_project = false;
    unsigned groups = 1;  // one bit per group
};

const auto tag_uid = [](std::size_t tag) { return "t" + std::to_string(tag); };

// The names prefix0, prefix1, ... whose bits are set.
Json::Value names(const char* prefix, unsigned bits) {
    Json::Value list(Json::arrayValue);
    for (unsigned i = 0; bits >> i != 0; ++i) {
        if ((bits >> i & 1U) != 0) {
            list.append(prefix + std::to_string(i));
        }
    }
    return list;
}

Json::Value zone_json(std::size_t slot, const zone_model& zone) {
    const int extent = static_cast<int>(zone.size * 10 + slot);
    Json::Value json = varnok::fuzz::zone_json("z" + std::to_string(slot), zone.id, type_names[zone.type],
                                               {{0, 0}, {extent, 0}, {0, extent}});
    json["project_uid"] = zone.other_project ? "p2" : "p1";
    json["default_allowed"] = zone.default_allowed;
    json["zone_exceptions"] = names("t", zone.barred_tags);
    json["zone_exceptions_groups"] = names("g", zone.barred_groups);
    if (zone.coupled != 0) {
        json["user_params"]["coupled"] = zone.coupled;
    }
    return json;
}

Json::Value tag_json(std::size_t tag, const tag_model& model) {
    Json::Value json =
        varnok::fuzz::tag_json(tag_uid(tag), model.associated ? "00112233445" + std::to_string(tag) : "");
    (model.associated ? json["node"] : json)["project_uid"] = model.other_project ? "p2" : "p1";
    if (model.associated) {
        json["node"]["groups"] = names("g", model.groups);
    }
    return json;
}

// Descriptor text by zone ("ID <n>" for what devices hold, the uid for what controllers compute).
using zone_table = std::map<std::string, std::string>;

const auto id_key = [](uint16_t id) { return "ID " + std::to_string(id); };

void require(bool holds, const std::string& tag, const std::string& what) {
    if (!holds) {
        std::fprintf(stderr, "tag %s: %s\n", tag.c_str(), what.c_str());
        std::abort();
    }
}

// Aborts when the tables differ, showing both; what names them.
void require_same(const std::string& tag, const zone_table& got, const zone_table& wanted, const char* what) {
    std::string shown = what;
    for (const zone_table* table : {&got, &wanted}) {
        shown += "\n ";
        for (const auto& [zone, descriptor] : *table) {
            shown += " " + zone + "=" + descriptor;
        }
    }
    require(got == wanted, tag, shown);
}

zone_table device_table(const tag_zone_manager& device) {
    zone_table table;
    for (const auto& [id, bytes] : device.zones()) {
        table[id_key(id)] = hex_from_bytes(bytes);
    }
    return table;
}

// What the controller takes the device to hold.
zone_table believed_table(const CTrackableObject& object) {
    zone_table table;
    for (const CZoneForDevice& entry : object.mZones) {
        const auto* held = entry.HeldDescriptor();
        require(held == nullptr ||
                    table.emplace(id_key(entry.HeldZoneID()), hex_from_bytes(held->Bytes())).second,
                object.mUid, entry.ZoneUid() + ": a second zone taken to be held under its ID");
    }
    return table;
}

// The zones of the tag's table, by uid or by ID, leaving out those to delete.
zone_table listed_table(const CTrackableObject& object, bool by_id) {
    zone_table table;
    for (const CZoneForDevice& entry : object.mZones) {
        if (entry.mDevState != ozra::DS_NEED_REMOVE) {
            table[by_id ? id_key(entry.ZoneID()) : entry.ZoneUid()] =
                hex_from_bytes(entry.mDescriptor->Bytes());
        }
    }
    return table;
}

class resync_run {
public:
    explicit resync_run(varnok::fuzz::controller_site& site) : m_site(site) {
        for (unsigned slot = 0; slot < 4; ++slot) {
            m_zones[slot] = zone_model{true, slot + 1};
        }
        Json::Value statuses;
        for (std::size_t tag = 0; tag < tag_count; ++tag) {
            statuses.append(varnok::fuzz::status_json(tag_uid(tag), "UPDATED"));
            m_devices[tag_uid(tag)];
        }
        m_site.server().clear_requests();
        m_site.server().set_download_statuses(statuses);
        serve();
        m_controller = m_site.new_controller();
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
        const std::function<void()> tag_steps[] = {
            [&] { process(); },
            [&] { process(); },
            [&] { answer(uid, deliver::now); },
            [&] {
                device.set_faults({false,
                                   in.next(4) == 0,
                                   {{static_cast<uint16_t>(in.next(largest_zone_id) + 1),
                                     static_cast<uint8_t>(in.next(3) + 1)}}});
                answer(uid, deliver::now);
                device.set_faults({});
            },
            [&] { answer(uid, deliver::unreceived); },
            [&] { answer(uid, deliver::lost); },
            [&] { answer(uid, deliver::later); },
            [&] {
                if (!m_late[uid].empty()) {
                    reply(uid, m_late[uid].front());
                    m_late[uid].pop_front();
                }
            },
            [&] { reply(uid, device.crc_report()); },
            [&] { time_out(); },
            [&] { request("UPDATE", uid); },
            [&] { request("VERIFY", uid); },
        };
        tag_steps[op - 11]();
    }

    void check() {
        for (const auto& [uid, object] : m_controller->TrObjects()) {
            const auto status = object.mCurDownloadStatus.mName;
            for (const CZoneForDevice& entry : object.mZones) {
                require(
                    status != ozra::DLS_UPDATED || entry.mDevState == ozra::DS_DOWNLOADED, uid,
                    entry.ZoneUid() + ": UPDATED while the zone is " + ozra::DevStateName(entry.mDevState));
            }
            // Equal CRCs over different tables are a collision the controller cannot see.
            if (object.mActivityStatus == ozra::ACT_NONE &&
                (status == ozra::DLS_UPDATED || status == ozra::DLS_OUTDATED) &&
                m_devices.at(uid).crc() != object.CurrentCRC(false)) {
                require_same(uid, believed_table(object), device_table(m_devices.at(uid)),
                             "believed held against the device");
            }
            if (m_current) {
                require_same(uid, listed_table(object, false), listed_table(fresh_object(uid), false),
                             "re-read table against a full recomputation");
            }
        }
    }

    // Brings every device up to date without faults; then each must hold exactly its zones.
    void settle() {
        m_late.clear();
        m_site.notify(*m_controller, R"({"object":"ZONE"})");
        process();
        for (int round = 0; round < 12; ++round) {
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
            time_out();
            process();
            answer_all();
            check();
        }
        for (std::size_t tag = 0; tag < tag_count; ++tag) {
            const std::string uid = tag_uid(tag);
            const auto managed = m_controller->TrObjects().find(uid);
            if (managed == m_controller->TrObjects().end()) {
                require(!m_tags[tag].associated, uid, "associated, but not managed after settling");
            } else {
                require(managed->second.mCurDownloadStatus.mName == ozra::DLS_UPDATED, uid,
                        "not UPDATED after settling");
                require_same(uid, device_table(m_devices.at(uid)), listed_table(fresh_object(uid), true),
                             "settled device against a full recomputation");
            }
        }
    }

private:
    enum class deliver { now, later, lost, unreceived };

    bool id_free(unsigned wanted, std::size_t except) const {
        return std::none_of(m_zones, m_zones + zone_slots, [&](const zone_model& z) {
            return &z != &m_zones[except] && z.present && z.id == wanted;
        });
    }

    // Applies a server change; false when it changes nothing.
    bool change_server(unsigned op, input& in) {
        if (op >= 8) {
            tag_model& tag = m_tags[in.next(tag_count)];
            const std::function<void()> tag_changes[] = {[&] { tag.associated = !tag.associated; },
                                                         [&] { tag.groups = in.next(4); },
                                                         [&] { tag.other_project = !tag.other_project; }};
            tag_changes[op - 8]();
            return true;
        }
        const std::size_t slot = in.next(zone_slots);
        zone_model& zone = m_zones[slot];
        if (op != 0 && !zone.present) {
            return false;
        }
        if (op == 0 || op == 2) {  // a new zone, or another ID for the zone; only to an ID not taken
            const unsigned id = in.next(largest_zone_id) + 1;
            if (!id_free(id, slot)) {
                return false;
            }
            zone = op == 0 ? zone_model{true, id, in.next(3), in.next(4) + 1, in.next(largest_zone_id + 1)}
                           : zone;
            zone.id = id;
            return true;
        }
        const std::function<void()> zone_changes[] = {[&] { zone.present = false; },
                                                      [&] { zone.type = in.next(3); },
                                                      [&] { zone.coupled = in.next(largest_zone_id + 1); },
                                                      [&] { zone.size = in.next(4) + 1; },
                                                      [&] {
                                                          zone.default_allowed = in.next(2) == 1;
                                                          zone.barred_tags = in.next(1U << tag_count);
                                                          zone.barred_groups = in.next(4);
                                                      },
                                                      [&] { zone.other_project = !zone.other_project; }};
        zone_changes[op == 1 ? 0 : op - 2]();
        return true;
    }

    void serve() {
        Json::Value zones(Json::arrayValue), tags(Json::arrayValue);
        for (std::size_t slot = 0; slot < zone_slots; ++slot) {
            if (m_zones[slot].present) {
                zones.append(zone_json(slot, m_zones[slot]));
            }
        }
        for (std::size_t tag = 0; tag < tag_count; ++tag) {
            tags.append(tag_json(tag, m_tags[tag]));
        }
        m_site.server().set_zones(zones);
        m_site.server().set_trackable_objects(tags);
    }

    void process() {
        m_site.process(*m_controller);
        m_current = m_current || m_controller->IsContextActual();
    }

    void time_out() {
        for (auto& [uid, object] : m_controller->TrObjects()) {
            object.mActivityTime.tv_sec -= answer_timeout_seconds;
        }
    }

    void request(const std::string& action, const std::string& uid) {
        m_site.notify(*m_controller, R"({"object":"ZONE_DOWNLOAD_REQUEST","action":")" + action +
                                         R"(","plist":{"zone_download_request":[{"trackable_uid":")" + uid +
                                         R"("}]}})");
    }

    // Hands the oldest frame posted to the device, if any, to the device; true when there was one. The
    // server's log holds the frames posted.
    bool answer(const std::string& uid, deliver how) {
        m_controller->WaitForAsyncOperations();
        const auto posted = m_site.server().requests(
            varnok::test_tools::match_request("POST", varnok::test_tools::rest_paths::user_msg));
        for (; m_posted < posted.size(); ++m_posted) {
            const Json::Value message = varnok::fuzz::parsed(posted[m_posted].body);
            m_frames[message["uid"].asString()].push_back(message["data"]["hex"].asString());
        }
        if (m_frames[uid].empty()) {
            return false;
        }
        const std::string frame = std::move(m_frames[uid].front());
        m_frames[uid].pop_front();
        if (how != deliver::unreceived) {
            const auto answer = m_devices.at(uid).receive(frame);
            if (how == deliver::now) {
                reply(uid, answer);
            } else if (how == deliver::later && answer) {
                m_late[uid].push_back(*answer);
            }
        }
        return true;
    }

    void answer_all() {
        for (bool answered = true; answered;) {
            answered = false;
            for (std::size_t tag = 0; tag < tag_count; ++tag) {
                answered = answer(tag_uid(tag), deliver::now) || answered;
            }
        }
    }

    void reply(const std::string& uid, const std::optional<std::string>& hex) {
        if (hex) {
            m_site.user_msg(*m_controller, R"({"dev_id":")" + uid + R"(","hex":")" + *hex + R"("})");
        }
    }

    const CTrackableObject& fresh_object(const std::string& uid) {
        if (!m_fresh) {
            m_fresh = m_site.new_controller();
        }
        return m_fresh->EnsureTrackableExists(
            uid);  // raises, and so aborts, when the server does not list it
    }

    varnok::fuzz::controller_site& m_site;
    zone_model m_zones[zone_slots];
    tag_model m_tags[tag_count];
    std::map<std::string, tag_zone_manager> m_devices;
    std::map<std::string, std::deque<std::string>> m_frames;  // posted, not yet received
    std::size_t m_posted = 0;                                 // of them, taken from the server's log
    std::map<std::string, std::deque<std::string>> m_late;    // answers held back
    std::unique_ptr<ozra::kelt> m_controller;
    // Destroyed first; started on the current server data, when first needed.
    std::unique_ptr<ozra::kelt> m_fresh;
    bool m_current = false;  // the controller re-read the server since it last changed
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static varnok::fuzz::controller_site site;
    input in{data, size};
    {
        resync_run run(site);
        for (int step = 0; step < 96 && in.size != 0; ++step) {
            run.step(in);
            run.check();
        }
        run.settle();
    }
    site.run_ready_handlers();
    return 0;
}
