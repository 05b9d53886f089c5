set(OZRA_CORE_TESTS_DIR ${CMAKE_CURRENT_LIST_DIR})

ozra_add_test(core_redis_tests
    SOURCES ${OZRA_CORE_TESTS_DIR}/redis_test.cpp ${OZRA_CORE_TESTS_DIR}/redis_server.cpp
    LIBRARIES ozra::libs::core)
