#include "application.h"

#include <unistd.h>

#include <fstream>
#include <iostream>

#include "config.h"
#include "core/exception.h"
#include "core/pid_file.h"
#include "core/version.h"
#include "runtime.h"

namespace ozra {

int application::run(int argc, char* argv[]) {
    try {
        libs::core::logger logger(std::string(libs::core::constants::project_name), "main");
        return run_with_logger(logger, argc, argv);
    } catch (...) {
        // Only the logger's own construction gets here: there is no log to report to.
        std::cerr << "Cannot create the logger: " << libs::core::exception_to_string() << std::endl;
        return 1;
    }
}

int application::run_with_logger(libs::core::logger& logger, int argc, char* argv[]) {
    try {
        const std::string config_name = parse_config_name(argc, argv);
        std::ifstream stream(config_name);
        const config settings(stream);
        logger.connect(settings.system.debug_port);
        logger.set_debug(settings.system.local_debug);
        libs::core::write_pid(settings.system.pidfile);
        run_runtime(logger, settings);
    } catch (...) {
        logger.log_exception();
        return 1;
    }
    std::cout << "exit" << std::endl;
    return 0;
}

std::string application::parse_config_name(int argc, char* argv[]) {
    const std::string program = argc > 0 ? argv[0] : "varnok";
    const std::string usage = "Usage: " + program + " -c config_file";
    std::string name;
    int option = 0;
    while ((option = getopt(argc, argv, "c:")) != -1) {
        if (option != 'c') {
            OZRA_THROW(usage);
        }
        name = optarg;
    }
    if (name.empty()) {
        OZRA_THROW("The configuration file is not defined! " + usage);
    }
    return name;
}

}  // namespace ozra
