#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/async_operation_handle.h"
#include "core/iteration_result.h"
#include "core/redis/reply.h"

namespace ozra::libs::core::redis {

// One command line, runnable on the blocking or on the loop-driven connection, as often as wanted.
class command {
public:
    virtual ~command() = default;

    // Any bytes: the length is sent with the argument.
    virtual command& add_argument(std::string argument) = 0;
    // Blocks until the reply arrives; an error reply raises "Command: <name>, error: <text>".
    virtual reply execute() = 0;
    // The reply, error replies included, reaches the handle's callback on the loop thread.
    virtual std::unique_ptr<async_operation_handle<reply>> execute_async() = 0;
};

// A connection pair to one database of a server: a blocking one and one driven by the events loop.
class context {
public:
    // Receives each key of the scan; returns false to stop it.
    using scan_callback = std::function<bool(std::string_view key)>;

    virtual ~context() = default;

    virtual std::unique_ptr<command> get(const std::string& key) = 0;
    virtual std::unique_ptr<command> set(const std::string& key, const std::string& value) = 0;
    virtual std::unique_ptr<command> del(const std::string& key) = 0;
    virtual std::unique_ptr<command> add_to_set(const std::string& key) = 0;
    virtual std::unique_ptr<command> add_to_set(const std::string& key, const std::string& member) = 0;
    virtual std::unique_ptr<command> remove_from_set(const std::string& key, const std::string& member) = 0;
    virtual std::unique_ptr<command> get_set_members(const std::string& key) = 0;
    virtual std::unique_ptr<command> get_table(const std::string& key) = 0;
    virtual std::unique_ptr<command> get_from_table(const std::string& key, const std::string& field) = 0;
    virtual std::unique_ptr<command> get_from_table_multi(const std::string& key) = 0;
    virtual std::unique_ptr<command> set_to_table(const std::string& key, const std::string& field,
                                                  const std::string& value) = 0;
    virtual std::unique_ptr<command> set_to_table_multi(const std::string& key) = 0;
    virtual std::unique_ptr<command> increment_in_table(const std::string& key, const std::string& field,
                                                        long long increment) = 0;
    virtual std::unique_ptr<command> delete_from_table(const std::string& key, const std::string& field) = 0;
    // Runs SCAN with MATCH over the whole key space, blocking.
    virtual iteration_result scan(const std::string& pattern, const scan_callback& callback) = 0;
    virtual std::unique_ptr<command> create_command(std::vector<std::string> arguments) = 0;
};

// The outcome of connecting: empty when the connection failed.
using connect_result = std::optional<std::unique_ptr<context>>;
using connect_handle = async_operation_handle<connect_result>;

}  // namespace ozra::libs::core::redis
