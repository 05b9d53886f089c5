set(OZRA_CORE_TESTS_DIR ${CMAKE_CURRENT_LIST_DIR})

ozra_add_test(core_redis_tests
    SOURCES ${OZRA_CORE_TESTS_DIR}/redis_test.cpp ${OZRA_CORE_TESTS_DIR}/redis_server.cpp
            ${OZRA_CORE_TESTS_DIR}/free_port.cpp
    LIBRARIES ozra::libs::core)
ozra_add_test(core_http_client_tests
    SOURCES ${OZRA_CORE_TESTS_DIR}/http_client_test.cpp ${OZRA_CORE_TESTS_DIR}/http_test_server.cpp
            ${OZRA_CORE_TESTS_DIR}/free_port.cpp
    LIBRARIES ozra::libs::core)
ozra_add_test(core_sockets_tests
    SOURCES ${OZRA_CORE_TESTS_DIR}/tcp_test.cpp ${OZRA_CORE_TESTS_DIR}/udp_test.cpp
            ${OZRA_CORE_TESTS_DIR}/zmq_socket_test.cpp ${OZRA_CORE_TESTS_DIR}/free_port.cpp
    LIBRARIES ozra::libs::core)
