#pragma once

#include <curl/curl.h>
#include <json/value.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "core/logger.h"
#include "metrics.h"
#include "request-pool.h"
#include "trackableobject.h"
#include "unassociated-trackable-objects.h"
#include "zone-download-status.h"
#include "zone.h"

namespace ozra {

// libcurl write callback: appends the received bytes to the std::stringstream given as stream, if any.
size_t callbackFunc(char* data, size_t size, size_t count, void* stream);

// Client of the location server's private REST API.
class CServer {
public:
    CServer(std::string protocol, std::string address, unsigned int port, libs::core::logger& logger,
            std::size_t connections = default_connections);
    virtual ~CServer();
    CServer(const CServer&) = delete;
    CServer& operator=(const CServer&) = delete;

    // Synchronous requests; they take over the header list and raise on any failure or status other than 200.
    void CurlGetRequest(const std::string& path, std::stringstream& answer, curl_slist* headers);
    void CurlPostRequest(const std::string& path, std::stringstream& answer, const std::string& body,
                         curl_slist* headers);
    void CurlDelRequest(const std::string& path, std::stringstream& answer, curl_slist* headers);

    // Queue a request for the background transfers; failures only reach the log. Requests with the same
    // order key reach the server one at a time, in the order they were queued. A replaceable request
    // supersedes a replaceable one of the same key still waiting behind another.
    void SendAsyncPostRequest(const std::string& path, const std::string& body, const std::string& orderKey,
                              bool replaceable = false);
    void SendAsyncDelRequest(const std::string& path);

    // Returns when every request queued before has finished.
    void WaitForAsyncOperations();
    // Whether frames to the uid wait or are on their way; else, told once, when the server took the last.
    CRequestPool::Settled TakeFramesSent(const std::string& uid);

    // Background transfers share this many kept-alive connections by default.
    static constexpr std::size_t default_connections = 16;
    // How long requests on their way may end at destruction; the waiting ones are dropped at once.
    static constexpr std::chrono::milliseconds stop_limit{500};

    void ParseAnswer(std::string caller, std::stringstream& answer, Json::Value& root);

    const libs::core::logger& get_logger() const { return m_logger; }

    // Longest time a request may take before it fails.
    static constexpr std::chrono::seconds request_timeout{10};

    static const std::string req_zone_types;
    static const std::string req_zones;
    static const std::string req_track_obj;
    static const std::string req_zone_download_status;
    static const std::string req_user_msg;

    // Adds the configured zone types that the server lists, with their IDs.
    void GetZoneTypes(const std::set<std::string>& configured, std::map<std::string, uint16_t>& types);
    // Adds every valid polygon zone of a known type.
    void GetZones(const std::map<std::string, uint16_t>& types, std::map<std::string, CZone>& zones);
    // Takes the identity of the first valid object the server answers for the uid.
    bool GetTrObject(const std::string& uid, CTrackableObject& object);
    // Adds valid objects, and the uids of objects without a device node.
    void GetTrObjects(std::map<std::string, CTrackableObject>& objects, std::set<std::string>& unassociated);
    // Stored statuses by trackable uid; the first status of a uid wins.
    std::map<std::string, CZoneDownloadStatus> GetZonesDownloadStatuses();
    // Reports every status set since the last report and each pending unassociated object; the
    // histories are emptied only when the server accepted the report. False when there was nothing.
    bool SendZoneDownloadStatus(std::map<std::string, CTrackableObject>& objects,
                                CUnassociatedTrackableObjects& unassociated);
    // Deletes the stored status of a trackable object in the background.
    bool DeleteZoneDownloadStatus(const std::string& uid);
    // Posts a device frame as a user message in the background. A replaceable frame, such as an
    // acknowledge that a newer one makes pointless, may be superseded while it waits.
    void SendUserMsg(const std::string& uid, const std::string& hex, bool replaceable = false);

    bool ReadZoneFromJson(const std::map<std::string, uint16_t>& types, const Json::Value& json, CZone& zone);
    bool ReadTrObjectFromJson(Json::Value json, CTrackableObject& object);
    bool IsValidUnassociatedTrObjectInJson(const Json::Value& json);
    bool GetStringMember(Json::Value json, const std::string& key, std::string& out) const;
    bool ForEachZoneDownloadStatusInJson(Json::Value array,
                                         const std::function<bool(CZoneDownloadStatus)>& f) const;
    downloadStatusName_t DownloadStatusFromString(const std::string& text) const;

private:
    enum class Method { GET, POST, DEL };
    using HeaderList = std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>;

    // A request and what its transfer reads until it has ended.
    struct Transfer {
        Method mMethod;
        std::string mUrl;
        const std::string* mBody;
        std::stringstream* mAnswer;
        HeaderList mHeaders;
    };
    class CAsyncRequest;

    static std::string OperationName(Method method);

    // One request over the handle, which keeps its connection for the next request.
    void CurlRequest(CURL* handle, Method method, const std::string& path, std::stringstream& answer,
                     const std::string* body, curl_slist* headers);
    // A null answer discards what the server answers.
    Transfer MakeTransfer(Method method, const std::string& path, std::stringstream* answer,
                          const std::string* body, curl_slist* headers) const;
    void PrepareTransfer(CURL* handle, Transfer& transfer) const;
    // Raises on a failed transfer or a status other than 200.
    static void CheckTransfer(CURLcode result, long status, const Transfer& transfer);
    void GetJson(CServerResource resource, const std::string& caller, const std::string& path,
                 Json::Value& root);
    // Replaces out with the strings of a JSON array (a null list is empty); false on a non-string.
    static bool ReadStringList(const Json::Value& list, std::set<std::string>& out);
    // text percent-encoded for use as one path segment; unreserved characters stay as they are, except the
    // dots of a "." or ".." segment.
    static std::string PathSegment(const std::string& text);

    std::string mProtocol;
    std::string mAddress;
    const uint32_t m_port;
    libs::core::logger& m_logger;
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> mSyncHandle{nullptr, &curl_easy_cleanup};
    std::unique_ptr<CRequestPool> mAsyncRequests;
};

}  // namespace ozra
