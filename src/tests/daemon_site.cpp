#include "daemon_site.h"

#include <cstdlib>
#include <filesystem>

#include "simulator/daemon_config.h"

namespace ozra::tests {

std::string CDaemon::ProgramPath() {
    const char* directory = std::getenv("VARNOK_BIN_DIR");
    return (directory != nullptr ? std::string(directory)
                                 : std::filesystem::read_symlink("/proc/self/exe").parent_path().string()) +
           "/varnok";
}

CDaemonSite::CDaemonSite(unsigned short serverPort, unsigned short proxyPort)
    : mServerPort(serverPort), mProxyPort(proxyPort) {
    unsetenv("OZRA_LAUNCHED_BY_SYSTEMD");
}

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

}  // namespace ozra::tests
