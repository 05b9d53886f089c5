# Adapters of the runtime library: Redis, HTTP client and sockets.
set(OZRA_CORE_DIR ${CMAKE_CURRENT_LIST_DIR})

target_sources(ozra_core PRIVATE
    ${OZRA_CORE_DIR}/src/impl/http/client_impl.cpp
    ${OZRA_CORE_DIR}/src/impl/http/curl_transfer.cpp
    ${OZRA_CORE_DIR}/src/impl/http/method.cpp
    ${OZRA_CORE_DIR}/src/impl/http/result.cpp
    ${OZRA_CORE_DIR}/src/impl/http/shared_curl_data.cpp
    ${OZRA_CORE_DIR}/src/impl/redis/async_context.cpp
    ${OZRA_CORE_DIR}/src/impl/redis/command_arguments.cpp
    ${OZRA_CORE_DIR}/src/impl/redis/command_impl.cpp
    ${OZRA_CORE_DIR}/src/impl/redis/context_impl.cpp
    ${OZRA_CORE_DIR}/src/impl/redis/reply.cpp
    ${OZRA_CORE_DIR}/src/impl/redis/reply_type.cpp
    ${OZRA_CORE_DIR}/src/impl/redis/sync_context.cpp
    ${OZRA_CORE_DIR}/src/impl/tcp/acceptor_impl.cpp
    ${OZRA_CORE_DIR}/src/impl/tcp/manager_impl.cpp
    ${OZRA_CORE_DIR}/src/impl/tcp/socket_impl.cpp
    ${OZRA_CORE_DIR}/src/impl/udp/socket_impl.cpp
    ${OZRA_CORE_DIR}/src/impl/zmq/manager_impl.cpp
    ${OZRA_CORE_DIR}/src/impl/zmq/socket_impl.cpp
)
target_link_libraries(ozra_core PUBLIC PkgConfig::HIREDIS CURL::libcurl)

if(VARNOK_TESTS)
    include(${OZRA_CORE_DIR}/tests/adapters_tests.cmake)
endif()
