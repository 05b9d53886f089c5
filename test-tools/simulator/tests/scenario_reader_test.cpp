#include "simulator/scenario_reader.h"

#include <gtest/gtest.h>

namespace varnok::test_tools {

const std::string good = R"({
  "name": "small", "duration_s": 20, "auto_update": true,
  "zone_types": [{"name": "boundary_in", "id": 1}, {"name": "alarm", "id": 2}],
  "zones": [
    {"uid": "z1", "zone_id": 1, "type": "boundary_in", "coupled": 2, "points": [[0,0],[10,0],[0,10]]},
    {"uid": "z2", "zone_id": 2, "name": "Gate", "type": "alarm", "points": [[0,0],[-10,0],[0,10]]}
  ],
  "tags": [
    {"uid": "t1", "holds_zones": "all", "expected": "UPDATED"},
    {"uid": "t2", "associated": false, "stored_status": null,
     "faults": {"silent": true, "lowercase_hex": true, "failing_zones": [{"zone_id": 2, "error_code": 3}]},
     "expected": {"status": "OOSYNC", "reason": "not associated"}}
  ],
  "events": [
    {"at_s": 9, "change_zone": {"uid": "z2", "points": [[1,1],[5,1],[1,5]]}},
    {"at_s": 2, "update": "all"},
    {"at_s": 12, "delete_zone": "z1"},
    {"at_s": 4, "notify": {"object": "GROUP", "action": "updated"}}
  ]
})";

// The good scenario with one text replaced.
std::string with(const std::string& from, const std::string& to) {
    const auto at = good.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return std::string(good).replace(at, from.size(), to);
}

// The message of the scenario_error that read raises; "no error" when it raises none.
template <class Read>
std::string error_of(Read&& read) {
    try {
        read();
    } catch (const scenario_error& error) {
        return error.what();
    }
    return "no error";
}

TEST(scenario_reader, reads_a_good_scenario_with_defaults_names_and_events_in_time_order) {
    const auto s = parse_scenario(good, "s.json");
    EXPECT_EQ(s.configured_zone_types, (std::vector<std::string>{"alarm", "boundary_in"}));
    EXPECT_EQ(std::tie(s.zones.at(0).sublocation_id, s.zones.at(0).project_uid, s.zones.at(1).points.at(1)),
              std::make_tuple(1, "project-1", std::pair<std::int32_t, std::int32_t>{-10, 0}));
    EXPECT_EQ(s.tags.at(0).holds_zones, (std::vector<std::string>{"z1", "z2"}));
    EXPECT_EQ(std::tie(s.tags.at(0).stored_status, s.tags.at(0).mac, s.tags.at(1).stored_status),
              std::make_tuple(std::optional<std::string>("UPDATED"), "020000000001", std::nullopt));
    EXPECT_EQ(s.tags.at(1).faults.failing_zones.at(2), 3);
    EXPECT_EQ(s.tags.at(1).expected->reason, "not associated");
    ASSERT_EQ(s.events.size(), 4u);
    EXPECT_EQ(s.events[0].kind, event_kind::update);
    EXPECT_EQ(s.events[0].tag_uids, (std::vector<std::string>{"t1", "t2"}));
    EXPECT_EQ(s.events[1].notification["object"].asString() + " " + s.events[2].zone.name + " " +
                  s.events[3].zone_uid,
              "GROUP Gate z1");
    EXPECT_EQ(s.events[2].zone.points[0], (std::pair<std::int32_t, std::int32_t>{1, 1}));
}

TEST(scenario_reader, each_bad_member_is_named_in_the_message) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"{", "s.json: not JSON: "},
        {with(R"("duration_s": 20)", R"("duration_s": -1)"), "s.json: duration_s: expected a number"},
        {with(R"("auto_update": true)", R"("auto_update": 1)"), "s.json: auto_update: expected true or"},
        {with(R"("name": "small")", R"("nmae": "small")"), "s.json: nmae: unknown member"},
        {with(R"("id": 2)", R"("id": 256)"), "s.json: zone_types[1].id: expected a whole number from 1 to"},
        {with(R"("type": "alarm")", R"("type": "alarn")"), "s.json: zones[1].type: no zone type named alarn"},
        {with(R"([[0,0],[10,0],[0,10]])", R"([[0,0],[10,0]])"), "s.json: zones[0].points: expected 3 to 255"},
        {with(R"([0,10]]},)", R"([0,"x"]]},)"), "s.json: zones[0].points[2][1]: expected a whole number"},
        {with(R"("uid": "z2")", R"("uid": "z1")"), "s.json: zones[1].uid: zone z1 given twice"},
        {with(R"("expected": "UPDATED")", R"("expected": "DONE")"), "s.json: tags[0].expected: expected"},
        {with(R"("uid": "t1")", R"("uid": "t1", "mac": "12")"), "s.json: tags[0].mac: expected 12 or 16"},
        {with(R"("update": "all")", R"("update": ["t9"])"),
         "s.json: events[1].update: no tag with the uid t9"},
        {with(R"("delete_zone": "z1")", R"("delete_zone": "z3")"), "s.json: events[2].delete_zone: no zone"},
        {with(R"("at_s": 4, )", ""), "s.json: events[3].at_s: missing"},
        {with(R"("at_s": 2, "update": "all")", R"("at_s": 2, "update": "all", "verify": "all")"),
         "s.json: events[1]: expected at_s and one action"},
    };
    for (const auto& [text, message] : cases) {
        EXPECT_EQ(error_of([&] { parse_scenario(text, "s.json"); }).substr(0, message.size()), message)
            << text;
    }
    EXPECT_EQ(error_of([] { read_scenario_file("/nonexistent/s.json"); }),
              "/nonexistent/s.json: cannot be read");
}

}  // namespace varnok::test_tools
