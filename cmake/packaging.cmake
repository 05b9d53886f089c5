# Install rules and the Debian packages: `varnok` (the daemon, its service and manual page) and, when the
# test tools are built, `varnok-sim`. `cmake --build <dir> --target package` writes them to <dir>.

get_directory_property(VARNOK_VERSION DIRECTORY libs/cpp-libraries/core DEFINITION VARNOK_GIT_VERSION)
get_directory_property(VARNOK_RELEASE DIRECTORY libs/cpp-libraries/core DEFINITION VARNOK_GIT_SUBVERSION)

set(VARNOK_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
configure_file(${VARNOK_PACKAGING_DIR}/varnok.8 ${CMAKE_BINARY_DIR}/packaging/varnok.8 @ONLY)
add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/packaging/varnok.8.gz
    COMMAND gzip -9nf -k ${CMAKE_BINARY_DIR}/packaging/varnok.8
    DEPENDS ${CMAKE_BINARY_DIR}/packaging/varnok.8
    COMMENT "Compressing the manual page")
add_custom_target(varnok_manual_page ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/varnok.8.gz)

install(TARGETS varnok RUNTIME DESTINATION sbin COMPONENT daemon)
install(FILES ${VARNOK_PACKAGING_DIR}/varnok.service DESTINATION /lib/systemd/system COMPONENT daemon)
install(FILES ${VARNOK_PACKAGING_DIR}/varnok.json DESTINATION /etc/varnok COMPONENT daemon)
install(FILES ${CMAKE_BINARY_DIR}/packaging/varnok.8.gz DESTINATION share/man/man8 COMPONENT daemon)
install(FILES README.md ${VARNOK_PACKAGING_DIR}/grafana-dashboard.json DESTINATION share/doc/varnok COMPONENT daemon)
set(VARNOK_COMPONENTS daemon)
if(TARGET varnok-sim)
    install(TARGETS varnok-sim RUNTIME DESTINATION bin COMPONENT simulator)
    install(DIRECTORY test-tools/scenarios/ DESTINATION share/varnok-sim/scenarios COMPONENT simulator)
    list(APPEND VARNOK_COMPONENTS simulator)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varnok)
set(CPACK_PACKAGE_VENDOR "varnok developers")
set(CPACK_PACKAGE_CONTACT "varnok developers <varnok@localhost>")
set(CPACK_PACKAGE_VERSION ${VARNOK_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL ${VARNOK_COMPONENTS})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VARNOK_RELEASE})
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_DAEMON_PACKAGE_NAME varnok)
set(CPACK_COMPONENT_DAEMON_DESCRIPTION "Zone table synchroniser for a real-time location system
Keeps the zone table of every tag of a real-time location system in step with
the location server: reads zones and tags from the server's REST API,
downloads each tag's zones through the server and reports the download
statuses back. Runs as the systemd service varnok.service.")
set(CPACK_DEBIAN_DAEMON_PACKAGE_CONTROL_EXTRA
    ${VARNOK_PACKAGING_DIR}/conffiles ${VARNOK_PACKAGING_DIR}/postinst ${VARNOK_PACKAGING_DIR}/prerm
    ${VARNOK_PACKAGING_DIR}/postrm)
set(CPACK_DEBIAN_DAEMON_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_SIMULATOR_PACKAGE_NAME varnok-sim)
set(CPACK_DEBIAN_SIMULATOR_PACKAGE_SECTION devel)
set(CPACK_COMPONENT_SIMULATOR_DESCRIPTION "Location system simulator for trying out varnok
Plays the location server, the ZeroMQ proxy and the tags from a scenario
and runs varnok against it.")

include(CPack)
