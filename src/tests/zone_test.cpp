#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/logger.h"
#include "manager.h"
#include "zone.h"

namespace ozra {
namespace {

constexpr uint16_t boundary_in = 5;
constexpr uint16_t boundary_out = 6;
const std::string sample_points =
    "0000000000000000"
    "0000006400000000"
    "00000000FFFFFFFB";

CZone SampleZone() {
    CZone zone("z1");
    zone.mProjectUid = "p1";
    zone.mName = "Gate";
    zone.mSublocationID = 1;
    zone.mZoneID = 0x1A;
    zone.mType = 3;
    zone.mPoints = {CPoint(0, 0), CPoint(100, 0), CPoint(0, -5)};
    zone.mExceptions = {"t1", "t2"};
    zone.mExceptionsGroups = {"g1"};
    return zone;
}

TEST(Zone, Defaults) {
    const CZone zone("uid");
    EXPECT_EQ(zone.mUid, "uid");
    EXPECT_TRUE(zone.mProjectUid.empty() && zone.mName.empty() && zone.mTrackableObjectUid.empty());
    EXPECT_TRUE(zone.mPoints.empty() && zone.mExceptions.empty() && zone.mExceptionsGroups.empty());
    EXPECT_EQ(zone.mType + zone.mSublocationID + zone.mZoneID + zone.mCoupled, 0);
    EXPECT_EQ(zone.mRadius, 0);
    EXPECT_FALSE(zone.mDefaultAllowed);
    EXPECT_EQ(zone.mShape, POLYGON);
    EXPECT_EQ(zone.mSrvState, srvState::NEW);
}

TEST(ZoneDescriptor, SamplePolygon) {
    const std::string descriptor = SampleZone().GetZoneDescriptor(boundary_in, boundary_out);
    EXPECT_EQ(descriptor, "0001001A000003000103" + sample_points);
    EXPECT_EQ(descriptor.size(), 68u);
}

TEST(ZoneDescriptor, CoupledBoundaryZone) {
    CZone zone = SampleZone();
    zone.mCoupled = 0x1B;
    zone.mType = boundary_in;
    EXPECT_EQ(zone.GetZoneDescriptor(boundary_in, boundary_out), "0001001A00000502001B0103" + sample_points);
    zone.mType = boundary_out;
    zone.mCoupled = 0;
    EXPECT_EQ(zone.GetZoneDescriptor(boundary_in, boundary_out), "0001001A0000060200000103" + sample_points);
}

TEST(ZoneDescriptor, CoupledIdOfAnotherTypeIsLeftOut) {
    CZone zone = SampleZone();
    zone.mCoupled = 0x1B;
    EXPECT_EQ(zone.GetZoneDescriptor(boundary_in, boundary_out), "0001001A000003000103" + sample_points);
}

TEST(ZoneDescriptor, WideFieldsGrowInsteadOfTruncating) {
    CZone zone = SampleZone();
    zone.mType = 0x1F4;
    EXPECT_EQ(zone.GetZoneDescriptor(boundary_in, boundary_out), "0001001A00001F4000103" + sample_points);

    zone.mType = 3;
    zone.mPoints.clear();
    for (int i = 0; i < 256; ++i) {
        zone.mPoints.emplace_back(i, -i);
    }
    const std::string descriptor = zone.GetZoneDescriptor(boundary_in, boundary_out);
    EXPECT_EQ(descriptor.substr(0, 21),
              "0001001A000003000110"
              "0");
    EXPECT_EQ(descriptor.size(), 21u + 16 * 256);
    EXPECT_EQ(descriptor.substr(21 + 16 * 255), "000000FFFFFFFF01");
}

TEST(ZoneDescriptor, ExtremeCoordinates) {
    CZone zone = SampleZone();
    zone.mPoints = {CPoint(INT32_MIN, INT32_MAX)};
    EXPECT_EQ(zone.GetZoneDescriptor(boundary_in, boundary_out),
              "0001001A000003000101"
              "800000007FFFFFFF");
}

TEST(ZoneEquality, IgnoresIdentityNameStateAndPointOrder) {
    const CZone zone = SampleZone();
    CZone other = SampleZone();
    other.mUid = "z2";
    other.mName = "Other";
    other.mSrvState = srvState::DELETED;
    other.mPoints = {CPoint(0, -5), CPoint(0, 0), CPoint(100, 0)};
    EXPECT_TRUE(zone == other);
    EXPECT_FALSE(zone != other);
}

TEST(ZoneEquality, EveryComparedFieldCounts) {
    const CZone zone = SampleZone();
    const std::vector<std::function<void(CZone&)>> changes = {
        [](CZone& z) { z.mProjectUid = "p2"; },
        [](CZone& z) { z.mType = 4; },
        [](CZone& z) { z.mDefaultAllowed = true; },
        [](CZone& z) { z.mShape = CIRCLE; },
        [](CZone& z) { z.mTrackableObjectUid = "t1"; },
        [](CZone& z) { z.mRadius = 4; },
        [](CZone& z) { z.mSublocationID = 2; },
        [](CZone& z) { z.mZoneID = 2; },
        [](CZone& z) { z.mCoupled = 2; },
        [](CZone& z) { z.mPoints.pop_back(); },
        [](CZone& z) { z.mPoints.back() = CPoint(0, 5); },
        [](CZone& z) { z.mExceptions.erase("t1"); },
        [](CZone& z) {
            z.mExceptions = {"t1", "t3"};
        },
        [](CZone& z) { z.mExceptionsGroups.clear(); },
        [](CZone& z) { z.mExceptionsGroups = {"g2"}; },
    };
    for (std::size_t i = 0; i < changes.size(); ++i) {
        CZone other = SampleZone();
        changes[i](other);
        EXPECT_FALSE(zone == other) << "change " << i;
        EXPECT_FALSE(other == zone) << "change " << i;
    }
}

TEST(ZoneText, Polygon) {
    CZone zone = SampleZone();
    zone.mCoupled = 7;
    std::ostringstream text;
    text << zone;
    EXPECT_EQ(
        text.str(),
        " uid:z1 prj:p1 type:3 default allowed:0 shape:POLYGON Sublocation ID:1 ID:26 Coupled:7 State:NEW\n"
        " Exceptions: t1 t2\n"
        " Exception Groups: g1\n"
        " (0,0) (100,0) (0,-5)\n");
}

TEST(ZoneText, Circle) {
    CZone zone("c1");
    zone.mShape = CIRCLE;
    zone.mRadius = 9;
    zone.mTrackableObjectUid = "t9";
    zone.mDefaultAllowed = true;
    zone.mSrvState = srvState::NOT_CHANGED;
    std::ostringstream text;
    text << zone;
    EXPECT_EQ(text.str(),
              " uid:c1 prj: type:0 default allowed:1 shape:CIRCLE Sublocation ID:0 ID:0 Coupled:0 "
              "State:NOT_CHANGED\n"
              " Exceptions:\n"
              " Exception Groups:\n"
              " radius: 3 TO:t9\n");
}

CZone Boundary(const std::string& uid, const std::string& project, uint16_t id, uint16_t coupled) {
    CZone zone(uid);
    zone.mProjectUid = project;
    zone.mZoneID = id;
    zone.mCoupled = coupled;
    return zone;
}

TEST(CoupledZone, MustBeMutualAndInOneProject) {
    const manager rules;
    const std::map<std::string, CZone> zones = {
        {"a", Boundary("a", "p1", 2, 9)},  // does not name zone 1 back
        {"b", Boundary("b", "p2", 2, 1)},  // other project
        {"c", Boundary("c", "p1", 2, 1)},
        {"d", Boundary("d", "p1", 2, 1)},
    };
    const auto coupled = rules.get_coupled_zone(Boundary("x", "p1", 1, 2), zones);
    ASSERT_TRUE(coupled);
    EXPECT_EQ(coupled->mUid, "c");
    EXPECT_EQ(&*coupled, &zones.at("c"));

    EXPECT_FALSE(rules.get_coupled_zone(Boundary("x", "p3", 1, 2), zones));
    EXPECT_FALSE(rules.get_coupled_zone(Boundary("x", "p1", 1, 3), zones));
}

TEST(CoupledZone, NoneWhenUncoupled) {
    const manager rules;
    const std::map<std::string, CZone> zones = {{"a", Boundary("a", "p1", 0, 1)}};
    EXPECT_FALSE(rules.get_coupled_zone(Boundary("x", "p1", 1, 0), zones));
}

class AllowRule : public ::testing::Test {
protected:
    CTrackableObject Object(const std::string& uid, const std::string& project,
                            std::set<std::string> groups) {
        CTrackableObject object(uid, m_logger);
        object.mProjectUid = project;
        object.mGroups = std::move(groups);
        return object;
    }

    libs::core::logger m_logger{"varnok-test", "zone"};
    manager m_rules;
};

TEST_F(AllowRule, DefaultAllowedConcernsOnlyExceptions) {
    CZone zone = SampleZone();
    zone.mDefaultAllowed = true;
    EXPECT_TRUE(m_rules.tr_object_works_with_zone(zone, Object("t1", "p1", {})));
    EXPECT_TRUE(m_rules.tr_object_works_with_zone(zone, Object("t5", "p1", {"g0", "g1"})));
    EXPECT_TRUE(m_rules.tr_object_works_with_zone(zone, Object("t2", "p1", {"g1"})));
    EXPECT_FALSE(m_rules.tr_object_works_with_zone(zone, Object("t5", "p1", {"g2"})));
}

TEST_F(AllowRule, DefaultBarredConcernsAllButExceptions) {
    const CZone zone = SampleZone();
    EXPECT_FALSE(m_rules.tr_object_works_with_zone(zone, Object("t1", "p1", {})));
    EXPECT_FALSE(m_rules.tr_object_works_with_zone(zone, Object("t5", "p1", {"g1"})));
    EXPECT_FALSE(m_rules.tr_object_works_with_zone(zone, Object("t2", "p1", {"g1"})));
    EXPECT_TRUE(m_rules.tr_object_works_with_zone(zone, Object("t5", "p1", {"g2"})));
}

TEST_F(AllowRule, OtherProjectNeverWorks) {
    CZone zone = SampleZone();
    EXPECT_FALSE(m_rules.tr_object_works_with_zone(zone, Object("t5", "p2", {})));
    zone.mDefaultAllowed = true;
    EXPECT_FALSE(m_rules.tr_object_works_with_zone(zone, Object("t1", "p2", {})));
}

}  // namespace
}  // namespace ozra
