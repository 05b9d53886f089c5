#include "shared_curl_data.h"

#include "core/exception.h"

namespace ozra::libs::core::http {

shared_curl_data::shared_curl_data() : m_share(curl_share_init()) {
    OZRA_CHECK(m_share != nullptr);
    curl_share_setopt(m_share, CURLSHOPT_LOCKFUNC, &shared_curl_data::lock);
    curl_share_setopt(m_share, CURLSHOPT_UNLOCKFUNC, &shared_curl_data::unlock);
    curl_share_setopt(m_share, CURLSHOPT_USERDATA, this);
    curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
}

shared_curl_data::~shared_curl_data() {
    curl_share_cleanup(m_share);
}

void shared_curl_data::lock(CURL* /*handle*/, curl_lock_data data, curl_lock_access /*access*/, void* self) {
    static_cast<shared_curl_data*>(self)->m_mutexes.at(data).lock();
}

void shared_curl_data::unlock(CURL* /*handle*/, curl_lock_data data, void* self) {
    static_cast<shared_curl_data*>(self)->m_mutexes.at(data).unlock();
}

}  // namespace ozra::libs::core::http
