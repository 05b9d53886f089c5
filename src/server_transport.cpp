#include <json/reader.h>

#include <memory>
#include <new>

#include "core/exception.h"
#include "server.h"

namespace ozra {

namespace {

using HeaderList = std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>;

void AppendHeader(HeaderList& headers, const char* line) {
    curl_slist* const extended = curl_slist_append(headers.get(), line);
    if (extended == nullptr) {
        throw std::bad_alloc();
    }
    headers.release();
    headers.reset(extended);
}

}  // namespace

size_t callbackFunc(char* data, size_t size, size_t count, void* stream) {
    const size_t length = size * count;
    static_cast<std::stringstream*>(stream)->write(data, static_cast<std::streamsize>(length));
    return length;
}

CServer::CServer(std::string protocol, std::string address, unsigned int port, libs::core::logger& logger)
    : mProtocol(std::move(protocol)), mAddress(std::move(address)), m_port(port), m_logger(logger) {
    const CURLcode code = curl_global_init(CURL_GLOBAL_ALL);
    if (code != CURLE_OK) {
        OZRA_THROW(std::string("CServer") + ": " + curl_easy_strerror(code));
    }
    mAsyncRequests = std::make_unique<CRequestPool>(async_workers, async_bound, m_logger);
}

CServer::~CServer() {
    mAsyncRequests.reset();
    mSyncHandle.reset();
    curl_global_cleanup();
}

void CServer::CurlGetRequest(const std::string& path, std::stringstream& answer, curl_slist* headers) {
    if (!mSyncHandle) {
        mSyncHandle.reset(curl_easy_init());
    }
    CurlRequest(mSyncHandle.get(), Method::GET, path, answer, nullptr, headers);
}

void CServer::CurlPostRequest(const std::string& path, std::stringstream& answer, const std::string& body,
                              curl_slist* headers) {
    if (!mSyncHandle) {
        mSyncHandle.reset(curl_easy_init());
    }
    CurlRequest(mSyncHandle.get(), Method::POST, path, answer, &body, headers);
}

void CServer::CurlDelRequest(const std::string& path, std::stringstream& answer, curl_slist* headers) {
    if (!mSyncHandle) {
        mSyncHandle.reset(curl_easy_init());
    }
    CurlRequest(mSyncHandle.get(), Method::DEL, path, answer, nullptr, headers);
}

void CServer::CurlRequest(CURL* curl, Method method, const std::string& path, std::stringstream& answer,
                          const std::string* body, curl_slist* headers) {
    HeaderList headerList(headers, &curl_slist_free_all);
    const std::string operation = method == Method::GET    ? "CurlGetRequest"
                                  : method == Method::POST ? "CurlPostRequest"
                                                           : "CurlDelRequest";
    if (curl == nullptr) {
        OZRA_THROW(operation + (method == Method::GET ? ": curlHandle == NULL" : ": curl_handle == NULL"));
    }
    curl_easy_reset(curl);
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
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, static_cast<long>(request_timeout.count()));
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
    if (code != 200) {
        OZRA_THROW(operation + ": request \"" + url + "\" returns code " + std::to_string(code));
    }
}

void CServer::SendAsyncPostRequest(const std::string& path, const std::string& body,
                                   const std::string& orderKey) {
    mAsyncRequests->Submit(orderKey, [this, path, body](CURL* handle) {
        std::stringstream answer;
        CurlRequest(handle, Method::POST, path, answer, &body, nullptr);
    });
}

void CServer::SendAsyncDelRequest(const std::string& path) {
    mAsyncRequests->Submit(path, [this, path](CURL* handle) {
        std::stringstream answer;
        CurlRequest(handle, Method::DEL, path, answer, nullptr, nullptr);
    });
}

void CServer::WaitForAsyncOperations() {
    mAsyncRequests->WaitIdle();
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
