#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "core/logger.h"
#include "manager.h"
#include "zone.h"

namespace ozra {

constexpr uint16_t boundary_in = 5;
constexpr uint16_t boundary_out = 6;
const std::string sample_points = "0000000000000000000000640000000000000000FFFFFFFB";

using Change = std::function<void(CZone&)>;

CZone SampleZone(const Change& change = [](CZone&) {}) {
    CZone zone("z1");
    zone.mProjectUid = "p1";
    zone.mName = "Gate";
    zone.mSublocationID = 1;
    zone.mZoneID = 0x1A;
    zone.mType = 3;
    zone.mPoints = {CPoint(0, 0), CPoint(100, 0), CPoint(0, -5)};
    zone.mExceptions = {"t1", "t2"};
    zone.mExceptionsGroups = {"g1"};
    change(zone);
    return zone;
}

TEST(ZoneDescriptor, EncodesEveryFieldAndTheCoupledIdOnlyForBoundaries) {
    for (const auto& [change, descriptor] : std::vector<std::pair<Change, std::string>>{
             {[](CZone&) {}, "0001001A000003000103" + sample_points},
             {[](CZone& z) {
                  z.mType = boundary_in;
                  z.mCoupled = 0x1B;
              },
              "0001001A00000502001B0103" + sample_points},
             {[](CZone& z) { z.mType = boundary_out; }, "0001001A0000060200000103" + sample_points},
             {[](CZone& z) { z.mCoupled = 0x1B; }, "0001001A000003000103" + sample_points},
             {[](CZone& z) { z.mPoints = {CPoint(INT32_MIN, INT32_MAX)}; },
              "0001001A000003000101800000007FFFFFFF"},
         }) {
        EXPECT_EQ(SampleZone(change).GetZoneDescriptor(boundary_in, boundary_out), descriptor);
    }
}

// The type and the point count must each fit their byte.
TEST(ZoneDescriptor, OnlyTypesAndPointCountsUpTo255CanBeEncoded) {
    for (const auto& [type, points, encodable] : std::vector<std::tuple<uint16_t, int, bool>>{
             {0xFF, 255, true}, {0x100, 3, false}, {3, 256, false}}) {
        const CZone zone = SampleZone([type = type, points = points](CZone& z) {
            z.mType = type;
            z.mPoints.assign(points, CPoint(1, 1));
        });
        EXPECT_EQ(zone.CanBeEncoded(), encodable) << type << ' ' << points;
    }
}

// Equality ignores uid, name, server state and point order; every field the reader sets counts.
TEST(ZoneEquality, ComparesTheContentOnly) {
    const CZone zone = SampleZone();
    const std::vector<std::pair<Change, bool>> cases = {
        {[](CZone& z) {
             z.mUid = "z2";
             z.mName = "Other";
             z.mSrvState = srvState::DELETED;
             z.mPoints = {CPoint(0, -5), CPoint(0, 0), CPoint(100, 0)};
         },
         true},
        {[](CZone& z) { z.mProjectUid = "p2"; }, false},
        {[](CZone& z) { z.mType = 4; }, false},
        {[](CZone& z) { z.mDefaultAllowed = true; }, false},
        {[](CZone& z) { z.mSublocationID = 2; }, false},
        {[](CZone& z) { z.mZoneID = 2; }, false},
        {[](CZone& z) { z.mCoupled = 2; }, false},
        {[](CZone& z) { z.mPoints.back() = CPoint(0, 5); }, false},
        {[](CZone& z) { z.mExceptions.insert("t3"); }, false},
        {[](CZone& z) { z.mExceptionsGroups = {"g2"}; }, false},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const CZone other = SampleZone(cases[i].first);
        EXPECT_EQ(std::make_tuple(zone == other, other == zone, zone != other),
                  std::make_tuple(cases[i].second, cases[i].second, !cases[i].second))
            << "case " << i;
    }
}

// The text of a zone as the controller's dump of its picture logs it. The reader makes polygons only.
TEST(ZoneText, ListsFieldsExceptionsAndPoints) {
    std::ostringstream text;
    text << SampleZone([](CZone& z) { z.mCoupled = 7; });
    EXPECT_EQ(
        text.str(),
        " uid:z1 prj:p1 type:3 default allowed:0 shape:POLYGON Sublocation ID:1 ID:26 Coupled:7 State:NEW\n"
        " Exceptions: t1 t2\n"
        " Exception Groups: g1\n"
        " (0,0) (100,0) (0,-5)\n");
}

// Exceptions are the listed objects and the members of the listed groups.
TEST(AllowRule, DefaultAllowedConcernsOnlyExceptionsDefaultBarredAllButExceptions) {
    libs::core::logger logger{"varnok-test", "zone"};
    const manager rules;
    for (const auto& [defaultAllowed, uid, project, groups, works] :
         std::vector<std::tuple<bool, std::string, std::string, std::set<std::string>, bool>>{
             {true, "t1", "p1", {}, true},
             {true, "t5", "p1", {"g0", "g1"}, true},
             {true, "t5", "p1", {"g2"}, false},
             {false, "t1", "p1", {}, false},
             {false, "t5", "p1", {"g1"}, false},
             {false, "t5", "p1", {"g2"}, true},
             {false, "t5", "p2", {}, false},
             {true, "t1", "p2", {}, false},
         }) {
        const CZone zone = SampleZone([allowed = defaultAllowed](CZone& z) { z.mDefaultAllowed = allowed; });
        CTrackableObject object(uid, logger);
        object.mProjectUid = project;
        object.mGroups = groups;
        EXPECT_EQ(rules.tr_object_works_with_zone(zone, object), works)
            << defaultAllowed << ' ' << uid << ' ' << project;
    }
}

}  // namespace ozra
