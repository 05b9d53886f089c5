#include "daemon_site.h"

#include <cstdlib>

#include "core/tests/test_support.h"
#include "kelt_fixture.h"
#include "simulator/daemon_config.h"

namespace ozra::tests {

namespace {

// Generous: a stopping daemon may wait for its debug socket and runs under sanitizers.
constexpr std::chrono::seconds deadline{30};

}  // namespace

CDaemon::CDaemon(const std::vector<std::string>& arguments, const std::string& logPath)
    : mLogPath(logPath), mProcess(ProgramPath(), arguments, logPath) {}

std::string CDaemon::ProgramPath() {
    const char* directory = std::getenv("VARNOK_BIN_DIR");
    return std::string(directory != nullptr ? directory : ".") + "/varnok";
}

bool CDaemon::WaitForLog(const std::string& text) const {
    return Eventually([&] { return Log().find(text) != std::string::npos; }, deadline);
}

int CDaemon::WaitForExit() {
    return mProcess.wait(deadline).value_or(-1);
}

int CDaemon::Stop(int signal) {
    mProcess.signal(signal);
    return WaitForExit();
}

CDaemonSite::CDaemonSite(unsigned short serverPort, unsigned short proxyPort)
    : mServerPort(serverPort), mProxyPort(proxyPort) {}

Json::Value CDaemonSite::Config(const Edit& edit) const {
    Json::Value document = ParseJson(varnok::test_tools::daemon_config_text(
        {PidFile(), mCollector.endpoint(), mProxyPort, mServerPort, {"alarm"}, ""}));
    if (edit) {
        edit(document);
    }
    return document;
}

std::string CDaemonSite::WriteConfig(const Json::Value& document) {
    const std::string path = Directory() + "/config-" + std::to_string(++mFiles) + ".json";
    WriteFile(path, document.toStyledString());
    return path;
}

std::unique_ptr<CDaemon> CDaemonSite::Run(const std::vector<std::string>& arguments) {
    return std::make_unique<CDaemon>(arguments, Directory() + "/daemon-" + std::to_string(++mFiles) + ".log");
}

void CServedSite::ServeTagsWithoutZones() {
    namespace data = ozra::test::data;
    mServer->set_zone_types(Json::Value(Json::arrayValue));
    mServer->set_zones(Json::Value(Json::arrayValue));
    mServer->set_trackable_objects(data::Array(
        {data::Trackable("t1"), data::Trackable("t2"), data::Trackable("t3"), data::Unassociated("u1")}));
    mServer->set_download_statuses(
        data::Array({data::Status("t1", "UPDATED"), data::Status("t2", "UPDATED"),
                     data::Status("t3", "OUTDATED"), data::Status("u1", "OOSYNC")}));
}

bool CServedSite::PublishUntil(const std::string& topic, const std::vector<std::string>& messages,
                               const std::function<bool()>& arrived) {
    return libs::core::testing::publish_until(
        *mLoop,
        [&] {
            for (const std::string& message : messages) {
                mProxy.publish(topic, message);
            }
        },
        arrived);
}

}  // namespace ozra::tests
