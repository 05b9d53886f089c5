set(OZRA_CORE_TESTS_DIR ${CMAKE_CURRENT_LIST_DIR})

ozra_add_test(core_redis_tests
    SOURCES ${OZRA_CORE_TESTS_DIR}/redis_test.cpp
    LIBRARIES ozra::libs::core)
ozra_add_test(core_http_client_tests
    SOURCES ${OZRA_CORE_TESTS_DIR}/http_client_test.cpp
    LIBRARIES ozra::libs::core varnok_fake_server)
ozra_add_test(core_sockets_tests
    SOURCES ${OZRA_CORE_TESTS_DIR}/sockets_test.cpp
    LIBRARIES ozra::libs::core)
