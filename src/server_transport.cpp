#include <json/reader.h>

#include <boost/optional.hpp>

#include <memory>
#include <new>

#include "core/exception.h"
#include "server.h"

namespace ozra {

namespace {

constexpr long request_timeout_seconds = 10;

using HeaderList = std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>;
using EasyHandle = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;

class MutexLock {
public:
    explicit MutexLock(pthread_mutex_t& mutex) : m_mutex(mutex) { pthread_mutex_lock(&m_mutex); }
    ~MutexLock() { pthread_mutex_unlock(&m_mutex); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    pthread_mutex_t& m_mutex;
};

template <class T>
boost::optional<T> TakeFirst(pthread_mutex_t& mutex, std::list<T>& queue) {
    MutexLock lock(mutex);
    if (queue.empty()) {
        return boost::none;
    }
    boost::optional<T> first(std::move(queue.front()));
    queue.pop_front();
    return first;
}

void AppendHeader(HeaderList& headers, const char* line) {
    curl_slist* const extended = curl_slist_append(headers.get(), line);
    if (extended == nullptr) {
        throw std::bad_alloc();
    }
    headers.release();
    headers.reset(extended);
}

}  // namespace

size_t callbackFunc(void* data, size_t size, size_t count, void* stream) {
    const size_t length = size * count;
    static_cast<std::stringstream*>(stream)->write(static_cast<const char*>(data),
                                                   static_cast<std::streamsize>(length));
    return length;
}

CServer::CServer(std::string protocol, std::string address, unsigned int port, libs::core::logger& logger)
    : mProtocol(std::move(protocol)), mAddress(std::move(address)), m_port(port), m_logger(logger) {
    const CURLcode code = curl_global_init(CURL_GLOBAL_ALL);
    if (code != CURLE_OK) {
        OZRA_THROW(std::string("CServer") + ": " + curl_easy_strerror(code));
    }
    pthread_mutex_init(&mMutex, nullptr);
}

CServer::~CServer() {
    WaitForAsyncOperations();
    curl_global_cleanup();
    pthread_mutex_destroy(&mMutex);
}

void CServer::CurlGetRequest(const std::string& path, std::stringstream& answer, curl_slist* headers) {
    CurlRequest(Method::GET, path, answer, nullptr, headers);
}

void CServer::CurlPostRequest(const std::string& path, std::stringstream& answer, const std::string& body,
                              curl_slist* headers) {
    CurlRequest(Method::POST, path, answer, &body, headers);
}

void CServer::CurlDelRequest(const std::string& path, std::stringstream& answer, curl_slist* headers) {
    CurlRequest(Method::DEL, path, answer, nullptr, headers);
}

void CServer::CurlRequest(Method method, const std::string& path, std::stringstream& answer,
                          const std::string* body, curl_slist* headers) {
    HeaderList headerList(headers, &curl_slist_free_all);
    const std::string operation = method == Method::GET    ? "CurlGetRequest"
                                  : method == Method::POST ? "CurlPostRequest"
                                                           : "CurlDelRequest";
    EasyHandle handle(curl_easy_init(), &curl_easy_cleanup);
    if (!handle) {
        OZRA_THROW(operation + (method == Method::GET ? ": curlHandle == NULL" : ": curl_handle == NULL"));
    }
    CURL* const curl = handle.get();
    if (method != Method::GET) {
        AppendHeader(headerList, "content-type: application/json");
    }
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headerList.get());
    if (method == Method::DEL) {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, "DELETE");
    }
    const std::string url = mAddress + path;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_DEFAULT_PROTOCOL, mProtocol.c_str());
    if (body != nullptr) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body->size()));
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body->data());
    }
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "varnokd");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &callbackFunc);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, request_timeout_seconds);
    // Request threads must not be interrupted by the resolver's alarm signal.
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    if (m_port != 0) {
        curl_easy_setopt(curl, CURLOPT_PORT, static_cast<long>(m_port));
    }

    const CURLcode result = curl_easy_perform(curl);
    headerList.reset();
    if (result != CURLE_OK) {
        OZRA_THROW(operation + ": curl_easy_perform failed: " + curl_easy_strerror(result) + " URL=" + url);
    }
    long code = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code);
    handle.reset();
    if (code != 200) {
        OZRA_THROW(operation + ": request \"" + url + "\" returns code " + std::to_string(code));
    }
}

void CServer::SendAsyncPostRequest(const std::string& path, const std::string& body) {
    {
        MutexLock lock(mMutex);
        mPostAsyncData.emplace_back(path, body);
    }
    StartAsyncThread(&CServer::CurlPostRequestAsync, "SendAsyncPostRequest");
}

void CServer::SendAsyncDelRequest(const std::string& path) {
    {
        MutexLock lock(mMutex);
        mDelAsyncData.push_back(path);
    }
    StartAsyncThread(&CServer::CurlDelRequestAsync, "SendAsyncDelRequest");
}

void CServer::StartAsyncThread(void* (*body)(void*), const char* caller) {
    mThread.emplace_back();
    if (pthread_create(&mThread.back(), nullptr, body, this) != 0) {
        mThread.pop_back();
        OZRA_THROW(std::string(caller) + ": pthread_create");
    }
}

void* CServer::CurlPostRequestAsync(void* server) {
    CServer& self = *static_cast<CServer*>(server);
    try {
        const auto request = TakeFirst(self.mMutex, self.mPostAsyncData);
        if (request) {
            std::stringstream answer;
            self.CurlPostRequest(request->mAddr, answer, request->mData, nullptr);
        }
    } catch (...) {
        self.m_logger.log_exception();
    }
    return nullptr;
}

void* CServer::CurlDelRequestAsync(void* server) {
    CServer& self = *static_cast<CServer*>(server);
    try {
        const auto path = TakeFirst(self.mMutex, self.mDelAsyncData);
        if (path) {
            std::stringstream answer;
            self.CurlDelRequest(*path, answer, nullptr);
        }
    } catch (...) {
        self.m_logger.log_exception();
    }
    return nullptr;
}

void CServer::WaitForAsyncOperations() {
    for (const pthread_t thread : mThread) {
        pthread_join(thread, nullptr);
    }
    mThread.clear();
}

void CServer::ParseAnswer(std::string caller, std::stringstream& answer, Json::Value& root) {
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    std::string errors;
    if (!Json::parseFromStream(builder, answer, &root, &errors)) {
        OZRA_THROW(caller + ": parseFromStream " + errors);
    }
}

}  // namespace ozra
