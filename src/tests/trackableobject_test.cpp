#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "core/exception.h"
#include "core/logger.h"
#include "trackableobject.h"

namespace ozra {
namespace {

namespace reason = DownloadStatusReason;

TEST(Reason, SimpleTexts) {
    const std::vector<std::pair<reason::ReasonType, std::string>> expected = {
        {reason::CRC_MISMATCH, "CRC mismatch"},     {reason::REQUEST_REJECTED, "download request rejected"},
        {reason::DISCONNECTED, "disconnected"},     {reason::CHANGE, "zone or trackable changed"},
        {reason::NOT_ASSOCIATED, "not associated"},
    };
    for (const auto& [type, text] : expected) {
        const reason::Reason r = reason::SimpleReason(type);
        EXPECT_EQ(r.Type(), type);
        EXPECT_EQ(r.String(), text);
    }
    EXPECT_EQ(reason::NoReason().Type(), reason::NO_REASON);
    EXPECT_EQ(reason::NoReason().String(), "");
}

TEST(Reason, UnknownSimpleReasonRaises) {
    for (const auto type : {reason::NO_REASON, reason::TOO_LARGE_ZONE, reason::DELETE_FAILED}) {
        try {
            reason::SimpleReason(type);
            ADD_FAILURE() << "no exception for " << type;
        } catch (const libs::core::exception& e) {
            EXPECT_EQ(e.get_string_error(), "Unknown reason");
        }
    }
}

TEST(Reason, ZoneTexts) {
    EXPECT_EQ(reason::AddFailed(7, "Gate", 3).String(), "zone 7-\"Gate\" add failed with code 3");
    EXPECT_EQ(reason::AddFailed(7, "Gate", 3).Type(), reason::ADD_FAILED);
    EXPECT_EQ(reason::DeleteFailed(7, "Ga\"te", -2).String(),
              "zone 7-\"Ga\\\"te\" delete failed with code -2");
    EXPECT_EQ(reason::DeleteFailed(7, "Gate", 3).Type(), reason::DELETE_FAILED);
    EXPECT_EQ(reason::TooLargeZone(7, "Gate").String(), "zone 7-Gate too large");
    EXPECT_EQ(reason::TooLargeZone(-1, "G\"").String(), "zone -1-G\" too large");
    EXPECT_EQ(reason::TooLargeZone(7, "Gate").Type(), reason::TOO_LARGE_ZONE);
}

TEST(ZoneForDevice, DefaultsAndText) {
    CZoneForDevice zone(MakeDescriptor("z", 12, "0A0B"));
    EXPECT_EQ(zone.mDescriptor->Hex(), "0A0B");
    EXPECT_FALSE(zone.mOldDescriptor);
    std::ostringstream plain;
    plain << zone;
    EXPECT_EQ(plain.str(), "ID:12 NEW NEED_ADD Errors:0, last code: 0");

    zone.mTooBig = true;
    zone.mDownloadErrorCounter = 2;
    zone.mDownloadErrorCode = 5;
    std::ostringstream big;
    big << zone;
    EXPECT_EQ(big.str(), "ID:12 NEW NEED_ADD Too big Errors:2, last code: 5");

    zone.mTooBig = false;
    zone.mSrvState = srvState::DELETED;
    zone.mDevState = DS_NEED_REMOVE;
    std::ostringstream removing;
    removing << zone;
    EXPECT_EQ(removing.str(), "ID:12 DELETED NEED_REMOVE Errors:2, last code: 5");
}

// Aiming an entry at a descriptor, from each device state: what the device then holds and must do.
TEST(ZoneForDevice, RetargetStartsFromWhatTheDeviceHolds) {
    const CDescriptorRef held = MakeDescriptor("z", 1, "0101");
    const CDescriptorRef same = MakeDescriptor("z", 1, "0101");
    const CDescriptorRef moved = MakeDescriptor("z", 1, "0102");
    const CDescriptorRef renumbered = MakeDescriptor("z", 7, "0701");
    struct Case {
        devState_t before;
        CDescriptorRef target;
        devState_t after;
        bool work;
        bool deletesFirst;
    };
    for (const Case& c : {Case{DS_DOWNLOADED, same, DS_DOWNLOADED, false, false},
                          Case{DS_DOWNLOADED, moved, DS_NEED_UPDATE, true, false},
                          Case{DS_DOWNLOADED, renumbered, DS_NEED_UPDATE, true, true},
                          Case{DS_NEED_REMOVE, same, DS_DOWNLOADED, false, false},
                          Case{DS_NEED_REMOVE, moved, DS_NEED_UPDATE, true, false},
                          Case{DS_NEED_ADD, moved, DS_NEED_ADD, true, false},
                          Case{DS_NEED_UPDATE, same, DS_DOWNLOADED, false, false},
                          Case{DS_NEED_UPDATE, renumbered, DS_NEED_UPDATE, true, true}}) {
        SCOPED_TRACE(std::string(DevStateName(c.before)) + " to " + c.target->Hex());
        CZoneForDevice zone(c.before == DS_NEED_ADD ? held : (c.before == DS_NEED_UPDATE ? moved : held));
        zone.mDevState = c.before;
        zone.mOldDescriptor = c.before == DS_NEED_UPDATE ? held : CDescriptorRef();
        zone.mTooBig = true;
        EXPECT_EQ(zone.Retarget(c.target), c.work);
        EXPECT_EQ(zone.mDevState, c.after);
        EXPECT_EQ(zone.DeletesFirst(), c.deletesFirst);
        EXPECT_EQ(zone.mTooBig, zone.mDescriptor->Hex() == (c.before == DS_NEED_UPDATE ? "0102" : "0101"));
        if (c.after != DS_NEED_ADD) {
            EXPECT_EQ(zone.HeldDescriptor()->Hex(), "0101");
        }
        EXPECT_EQ(zone.PendingZoneID(), c.deletesFirst ? 1 : c.target->ZoneID());
    }
}

class TrackableObject : public ::testing::Test {
protected:
    CTrackableObject WithZonesInEveryState() {
        CTrackableObject object("t1", m_logger);
        const devState_t states[] = {DS_NEED_ADD, DS_NEED_UPDATE, DS_NEED_REMOVE, DS_DOWNLOADED};
        for (uint16_t i = 0; i < 4; ++i) {
            CZoneForDevice zone(MakeDescriptor("z" + std::to_string(i), i, "00"));
            zone.mDevState = states[i];
            if (states[i] == DS_NEED_UPDATE) {
                zone.mOldDescriptor = MakeDescriptor("z" + std::to_string(i), i, "FF");
            }
            object.mZones.insert(zone);
        }
        return object;
    }

    libs::core::logger m_logger{"varnok-test", "trackable"};
};

TEST_F(TrackableObject, NewRecord) {
    const CTrackableObject object("t1", m_logger);
    EXPECT_EQ(object.mUid, "t1");
    EXPECT_EQ(object.mSrvState, srvState::NEW);
    EXPECT_EQ(object.mCurDownloadStatus.mName, DLS_UNKNOWN);
    EXPECT_EQ(object.mCurDownloadStatus.mReason.String(), "");
    EXPECT_EQ(object.mActivityStatus, ACT_NONE);
    EXPECT_EQ(object.mActivityTime.tv_sec, 0);
    EXPECT_EQ(object.mActivityTime.tv_usec, 0);
    EXPECT_EQ(object.mRequestCounter, 0u);
    EXPECT_TRUE(object.mDownloadStatusHistory.empty());
    EXPECT_TRUE(CTrackableObject(m_logger).mUid.empty());
}

TEST_F(TrackableObject, InProcessKeepsTheOutstandingRequest) {
    CTrackableObject object("t1", m_logger);
    object.mActivityStatus = ACT_DOWNLOADING_ZONES;
    object.mActivityTime = {100, 500};
    object.mRequestCounter = 3;
    object.SetDownloadStatus(CDownloadStatus(DLS_IN_PROCESS, reason::NoReason()));
    EXPECT_EQ(object.mCurDownloadStatus.mName, DLS_IN_PROCESS);
    EXPECT_EQ(object.mActivityStatus, ACT_DOWNLOADING_ZONES);
    EXPECT_EQ(object.mActivityTime.tv_sec, 100);
    EXPECT_EQ(object.mActivityTime.tv_usec, 500);
    EXPECT_EQ(object.mRequestCounter, 3u);
}

TEST_F(TrackableObject, OtherStatusesEndTheOutstandingRequest) {
    CTrackableObject object("t1", m_logger);
    object.mActivityStatus = ACT_VERIFY_REQUEST;
    object.mActivityTime = {100, 500};
    object.mRequestCounter = 3;
    timeval before{};
    gettimeofday(&before, nullptr);
    object.SetDownloadStatus(CDownloadStatus(DLS_UPDATED, reason::NoReason()));
    EXPECT_EQ(object.mActivityStatus, ACT_NONE);
    EXPECT_EQ(object.mRequestCounter, 0u);
    EXPECT_GE(object.mActivityTime.tv_sec, before.tv_sec);
}

TEST_F(TrackableObject, TheHistoryKeepsDistinctChangesInOrderWithinItsBound) {
    CTrackableObject object("t1", m_logger);
    const CDownloadStatus changed(DLS_OUTDATED, reason::SimpleReason(reason::CHANGE));
    const CDownloadStatus mismatch(DLS_OOSYNC, reason::SimpleReason(reason::CRC_MISMATCH));
    object.SetDownloadStatus(changed);
    object.SetDownloadStatus(changed);
    object.SetDownloadStatus(CDownloadStatus(DLS_IN_PROCESS, reason::NoReason()));
    object.SetDownloadStatus(changed);
    ASSERT_EQ(object.mDownloadStatusHistory.size(), 3u);
    EXPECT_EQ(object.mDownloadStatusHistory.front().mName, DLS_OUTDATED);
    EXPECT_EQ(std::next(object.mDownloadStatusHistory.begin())->mName, DLS_IN_PROCESS);
    EXPECT_EQ(object.mCurDownloadStatus.mName, DLS_OUTDATED);

    for (int i = 0; i < 30000; ++i) {
        object.SetDownloadStatus(i % 100 == 0 ? changed : mismatch);
    }
    EXPECT_EQ(object.mDownloadStatusHistory.size(), CTrackableObject::history_bound);
    EXPECT_EQ(object.mDownloadStatusHistory.back(), mismatch);

    object.StatusesReported();
    object.ReportStatusAgain();
    ASSERT_EQ(object.mDownloadStatusHistory.size(), 1u);
    EXPECT_EQ(object.mDownloadStatusHistory.back(), mismatch);
}

TEST_F(TrackableObject, OutOfSyncDropsRemovalsAndAddsEverythingElse) {
    CTrackableObject object = WithZonesInEveryState();
    object.SetDownloadStatus(CDownloadStatus(DLS_OOSYNC, reason::SimpleReason(reason::CRC_MISMATCH)));
    ASSERT_EQ(object.mZones.size(), 3u);
    EXPECT_EQ(object.mZones.count("z2"), 0u);
    for (const CZoneForDevice& zone : object.mZones) {
        EXPECT_EQ(zone.mDevState, DS_NEED_ADD) << zone.ZoneUid();
    }
}

TEST_F(TrackableObject, OtherStatusesLeaveZonesAlone) {
    CTrackableObject object = WithZonesInEveryState();
    object.SetDownloadStatus(CDownloadStatus(DLS_OUTDATED, reason::SimpleReason(reason::CHANGE)));
    ASSERT_EQ(object.mZones.size(), 4u);
    EXPECT_EQ(object.mZones.at("z2").mDevState, DS_NEED_REMOVE);
    EXPECT_EQ(object.mZones.at("z3").mDevState, DS_DOWNLOADED);
}

TEST_F(TrackableObject, AssignmentTakesOverOnlyTheIdentity) {
    CTrackableObject target = WithZonesInEveryState();
    target.SetDownloadStatus(CDownloadStatus(DLS_OUTDATED, reason::SimpleReason(reason::CHANGE)));
    target.mActivityStatus = ACT_ERASE_ALL_REQUEST;
    target.mRequestCounter = 2;
    target.mSrvState = srvState::UPDATED;

    CTrackableObject source("t2", m_logger);
    source.mMacAddress = "A1B2C3FFFED4E5F6";
    source.mProjectUid = "p9";
    source.mGroups = {"g1"};
    target = source;

    EXPECT_EQ(target.mUid, "t2");
    EXPECT_EQ(target.mMacAddress, "A1B2C3FFFED4E5F6");
    EXPECT_EQ(target.mProjectUid, "p9");
    EXPECT_EQ(target.mGroups, std::set<std::string>{"g1"});
    EXPECT_EQ(target.mZones.size(), 4u);
    EXPECT_EQ(target.mCurDownloadStatus.mName, DLS_OUTDATED);
    EXPECT_EQ(target.mDownloadStatusHistory.size(), 1u);
    EXPECT_EQ(target.mActivityStatus, ACT_ERASE_ALL_REQUEST);
    EXPECT_EQ(target.mRequestCounter, 2u);
    EXPECT_EQ(target.mSrvState, srvState::UPDATED);
}

TEST_F(TrackableObject, EqualityComparesMacProjectAndGroups) {
    CTrackableObject one = WithZonesInEveryState();
    CTrackableObject two("t2", m_logger);
    for (CTrackableObject* object : {&one, &two}) {
        object->mMacAddress = "M";
        object->mProjectUid = "P";
        object->mGroups = {"g1", "g2"};
    }
    EXPECT_TRUE(one == two);
    two.mGroups = {"g1"};
    EXPECT_FALSE(one == two);
    EXPECT_FALSE(two == one);
    two.mGroups = {"g1", "g3"};
    EXPECT_FALSE(one == two);
    two.mGroups = one.mGroups;
    two.mMacAddress = "N";
    EXPECT_FALSE(one == two);
    two.mMacAddress = "M";
    two.mProjectUid = "Q";
    EXPECT_TRUE(one != two);
}

TEST_F(TrackableObject, Text) {
    CTrackableObject object("t1", m_logger);
    object.mProjectUid = "p1";
    object.mMacAddress = "MAC";
    object.mGroups = {"g1", "g2"};
    CZoneForDevice zone(MakeDescriptor("z1", 12, "00"));
    zone.mDevState = DS_DOWNLOADED;
    object.mZones.insert(zone);
    object.SetDownloadStatus(CDownloadStatus(DLS_OUTDATED, reason::SimpleReason(reason::CHANGE)));
    object.SetDownloadStatus(CDownloadStatus(DLS_IN_PROCESS, reason::NoReason()));
    std::ostringstream text;
    text << object;
    EXPECT_EQ(text.str(),
              " uid:t1 prj:p1 mac:MAC State:NEW CurDwldStat:IN_PROCESS Reason:\n"
              " Status history: OUTDATED Reason:zone or trackable changed IN_PROCESS Reason:\n"
              " Groups: g1 g2\n"
              "  Zone:z1 ID:12 NEW DOWNLOADED Errors:0, last code: 0\n");
}

TEST(UnassociatedTrackableObjects, Lifecycle) {
    CUnassociatedTrackableObjects objects;
    objects.AddTO("b", false);
    objects.AddTO("a", false);
    objects.AddTO("s", true);
    objects.AddTO("s", false);
    EXPECT_TRUE(objects.IsSynchronized("s"));
    EXPECT_FALSE(objects.IsSynchronized("a"));

    std::vector<std::string> seen;
    EXPECT_TRUE(objects.ForEachTO([&seen](const std::string& uid) {
        seen.push_back(uid);
        return true;
    }));
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "b", "s", "s"}));

    seen.clear();
    EXPECT_FALSE(objects.ForEachPendingTO([&seen](const std::string& uid) {
        seen.push_back(uid);
        return false;
    }));
    EXPECT_EQ(seen, std::vector<std::string>{"a"});

    objects.MarkAllAsSynchronized();
    EXPECT_TRUE(objects.mPendingTOs.empty());
    EXPECT_TRUE(objects.IsSynchronized("a") && objects.IsSynchronized("b"));

    objects.RemoveTO("a");
    objects.AddTO("x", false);
    objects.RemoveTO("x");
    EXPECT_EQ(objects.mSynchronizedTOs, (std::set<std::string>{"b", "s"}));
    EXPECT_TRUE(objects.mPendingTOs.empty());
}

}  // namespace
}  // namespace ozra
