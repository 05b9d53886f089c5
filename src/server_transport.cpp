#include <memory>
#include <new>
#include <optional>

#include "core/exception.h"
#include "core/http/curl_transfer.h"
#include "core/json.h"
#include "core/version.h"
#include "http-status-error.h"
#include "request-metrics.h"
#include "server.h"

namespace ozra {

namespace {

const std::string user_agent(libs::core::constants::project_name);

void AppendHeader(std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>& headers, const char* line) {
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
    if (stream != nullptr) {
        static_cast<std::stringstream*>(stream)->write(data, static_cast<std::streamsize>(length));
    }
    return length;
}

CServer::CServer(std::string protocol, std::string address, unsigned int port, libs::core::logger& logger,
                 std::size_t connections)
    : mProtocol(std::move(protocol)), mAddress(std::move(address)), m_port(port), m_logger(logger) {
    const CURLcode code = libs::core::http::initialize_curl();
    if (code != CURLE_OK) {
        OZRA_THROW(std::string("CServer") + ": " + curl_easy_strerror(code));
    }
    mAsyncRequests = std::make_unique<CRequestPool>(connections, stop_limit, m_logger);
}

CServer::~CServer() {
    mAsyncRequests.reset();
    mSyncHandle.reset();
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

std::string CServer::OperationName(Method method) {
    return method == Method::GET    ? "CurlGetRequest"
           : method == Method::POST ? "CurlPostRequest"
                                    : "CurlDelRequest";
}

void CServer::CurlRequest(CURL* curl, Method method, const std::string& path, std::stringstream& answer,
                          const std::string* body, curl_slist* headers) {
    Transfer transfer = MakeTransfer(method, path, &answer, body, headers);
    PrepareTransfer(curl, transfer);
    const CURLcode result = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    CheckTransfer(result, status, transfer);
}

CServer::Transfer CServer::MakeTransfer(Method method, const std::string& path, std::stringstream* answer,
                                        const std::string* body, curl_slist* headers) const {
    Transfer transfer{method, mAddress + path, body, answer, HeaderList(headers, &curl_slist_free_all)};
    if (method != Method::GET) {
        AppendHeader(transfer.mHeaders, "content-type: application/json");
    }
    return transfer;
}

void CServer::PrepareTransfer(CURL* curl, Transfer& transfer) const {
    if (curl == nullptr) {
        OZRA_THROW(OperationName(transfer.mMethod) +
                   (transfer.mMethod == Method::GET ? ": curlHandle == NULL" : ": curl_handle == NULL"));
    }
    curl_easy_reset(curl);
    libs::core::http::set_transfer_options(
        curl, {transfer.mUrl, transfer.mMethod == Method::DEL ? "DELETE" : nullptr, transfer.mBody,
               transfer.mHeaders.get(), user_agent, request_timeout, &callbackFunc, transfer.mAnswer});
    curl_easy_setopt(curl, CURLOPT_DEFAULT_PROTOCOL, mProtocol.c_str());
    if (m_port != 0) {
        curl_easy_setopt(curl, CURLOPT_PORT, static_cast<long>(m_port));
    }
}

void CServer::CheckTransfer(CURLcode result, long code, const Transfer& transfer) {
    if (result != CURLE_OK) {
        OZRA_THROW(OperationName(transfer.mMethod) +
                   ": curl_easy_perform failed: " + curl_easy_strerror(result) + " URL=" + transfer.mUrl);
    }
    if (code != 200) {
        throw CHttpStatusError(OperationName(transfer.mMethod) + ": request \"" + transfer.mUrl +
                                   "\" returns code " + std::to_string(code),
                               code, OZRA_SOURCE_LOCATION);
    }
}

// A background request: owns its body until the transfer has ended; the answer is not read. Background POSTs
// carry frames to the tags, background DELETEs remove stored statuses.
class CServer::CAsyncRequest final : public CRequestPool::Request {
public:
    CAsyncRequest(const CServer& server, Method method, const std::string& path, std::string body)
        : mServer(server),
          mBody(std::move(body)),
          mTransfer(
              server.MakeTransfer(method, path, nullptr, method == Method::DEL ? nullptr : &mBody, nullptr)),
          mResource(method == Method::DEL ? CServerResource::STATUS_DELETE : CServerResource::USER_MSG) {}

    void Prepare(CURL* handle) override {
        mMeasured.emplace(mResource);
        mServer.PrepareTransfer(handle, mTransfer);
    }

    void Finish(CURLcode result, long status) override {
        mMeasured->Ended(result == CURLE_OK && status == 200);
        CheckTransfer(result, status, mTransfer);
    }

private:
    const CServer& mServer;
    std::string mBody;
    Transfer mTransfer;
    CQueuedRequest mQueued;
    const CServerResource mResource;
    // From the moment the request leaves the queue; one superseded or dropped unsent is not counted.
    std::optional<CMeasuredRequest> mMeasured;
};

void CServer::SendAsyncPostRequest(const std::string& path, const std::string& body,
                                   const std::string& orderKey, bool replaceable) {
    mAsyncRequests->Submit(orderKey, std::make_unique<CAsyncRequest>(*this, Method::POST, path, body),
                           replaceable);
}

void CServer::SendAsyncDelRequest(const std::string& path) {
    mAsyncRequests->Submit(path, std::make_unique<CAsyncRequest>(*this, Method::DEL, path, std::string()));
}

void CServer::WaitForAsyncOperations() {
    mAsyncRequests->WaitIdle();
}

CRequestPool::Settled CServer::TakeFramesSent(const std::string& uid) {
    return mAsyncRequests->TakeSettled(uid);
}

// What jsoncpp's parseFromStream does, without its second copy of the answer.
void CServer::ParseAnswer(std::string caller, std::stringstream& answer, Json::Value& root) {
    libs::core::json::parse_result parsed = libs::core::json::try_parse(answer.str());
    if (!parsed.ok) {
        OZRA_THROW(caller + ": parseFromStream " + parsed.error);
    }
    root = std::move(parsed.result);
}

}  // namespace ozra
