#pragma once

#include <curl/curl.h>
#include <json/value.h>
#include <pthread.h>

#include <cstddef>
#include <cstdint>
#include <list>
#include <sstream>
#include <string>

#include "core/logger.h"

namespace ozra {

// One queued asynchronous POST: resource path and body.
class CAsyncData {
public:
    CAsyncData(std::string addr, std::string data) : mAddr(std::move(addr)), mData(std::move(data)) {}

    std::string mAddr;
    std::string mData;
};

// libcurl write callback: appends the received bytes to the std::stringstream given as stream.
size_t callbackFunc(void* data, size_t size, size_t count, void* stream);

// Client of the location server's private REST API.
class CServer {
public:
    CServer(std::string protocol, std::string address, unsigned int port, libs::core::logger& logger);
    virtual ~CServer();
    CServer(const CServer&) = delete;
    CServer& operator=(const CServer&) = delete;

    // Synchronous requests; they take over the header list and raise on any failure or status other than 200.
    void CurlGetRequest(const std::string& path, std::stringstream& answer, curl_slist* headers);
    void CurlPostRequest(const std::string& path, std::stringstream& answer, const std::string& body,
                         curl_slist* headers);
    void CurlDelRequest(const std::string& path, std::stringstream& answer, curl_slist* headers);

    // Queue a request and run it on a thread of its own; failures only reach the log.
    void SendAsyncPostRequest(const std::string& path, const std::string& body);
    void SendAsyncDelRequest(const std::string& path);
    static void* CurlPostRequestAsync(void* server);
    static void* CurlDelRequestAsync(void* server);

    // Joins every thread started for asynchronous requests.
    void WaitForAsyncOperations();

    void ParseAnswer(std::string caller, std::stringstream& answer, Json::Value& root);

    const libs::core::logger& get_logger() const { return m_logger; }

private:
    enum class Method { GET, POST, DEL };

    void CurlRequest(Method method, const std::string& path, std::stringstream& answer,
                     const std::string* body, curl_slist* headers);
    void StartAsyncThread(void* (*body)(void*), const char* caller);

    std::string mProtocol;
    std::string mAddress;
    const uint32_t m_port;
    pthread_mutex_t mMutex;
    std::list<CAsyncData> mPostAsyncData;
    std::list<std::string> mDelAsyncData;
    std::list<pthread_t> mThread;
    libs::core::logger& m_logger;
};

}  // namespace ozra
