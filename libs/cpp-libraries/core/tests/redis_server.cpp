#include "redis_server.h"

#include "free_port.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>
#include <vector>

namespace ozra::libs::core::testing {

namespace {

const auto loopback = boost::asio::ip::make_address("127.0.0.1");

std::string make_temporary_directory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "varnok-redis-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    return pattern;
}

}  // namespace

redis_server::redis_server() : m_directory(make_temporary_directory()), m_port(free_tcp_port()) {
    const std::string port = std::to_string(m_port);
    std::vector<std::string> arguments{"redis-server", "--port",     port,           "--bind", "127.0.0.1",
                                       "--save",       "",           "--appendonly", "no",     "--dir",
                                       m_directory,    "--loglevel", "warning"};
    std::vector<char*> argv;
    for (auto& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    m_pid = ::fork();
    if (m_pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int log = ::open((m_directory + "/log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(log, STDOUT_FILENO);
        ::dup2(log, STDERR_FILENO);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!answers()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            throw std::runtime_error("redis-server does not answer");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

redis_server::~redis_server() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(m_directory, ignored);
}

void redis_server::kill() {
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

bool redis_server::answers() const {
    boost::asio::io_context io_context;
    boost::asio::ip::tcp::socket socket(io_context);
    boost::system::error_code error;
    socket.connect({loopback, static_cast<unsigned short>(m_port)}, error);
    if (error) {
        return false;
    }
    boost::asio::write(socket, boost::asio::buffer(std::string("PING\r\n")), error);
    std::array<char, 7> answer{};
    boost::asio::read(socket, boost::asio::buffer(answer), error);
    return !error && std::string(answer.data(), answer.size()) == "+PONG\r\n";
}

}  // namespace ozra::libs::core::testing
