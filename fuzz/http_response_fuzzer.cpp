// Bytes a server sends on a kept-alive connection, read by the direct connections' response reader: fed
// whole and in pieces (cut where the first byte says, and one byte at a time), the reader must come to the
// same end, use no more than it was given and take nothing after it finished.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "harness/frame_check.h"
#include "http-response-reader.h"

namespace {

struct Reading {
    ozra::CHttpResponseReader::State state;
    std::size_t used;
    unsigned status;
    bool keepAlive;
    bool started;

    bool operator==(const Reading& other) const {
        const bool complete = state == ozra::CHttpResponseReader::State::Complete;
        return state == other.state && used == other.used && started == other.started &&
               (!complete || (status == other.status && keepAlive == other.keepAlive));
    }
};

void require(bool condition, const char* property, const std::string& text) {
    varnok::fuzz::require_no_defect(condition ? std::string() : property, text);
}

// Feeds the text in pieces of at most piece bytes (all at once for 0), then the end of the connection.
Reading Read(const std::string& text, std::size_t piece) {
    ozra::CHttpResponseReader reader;
    std::size_t used = 0;
    for (std::size_t offset = 0; offset < text.size();) {
        const std::size_t size = piece == 0 ? text.size() - offset : std::min(piece, text.size() - offset);
        const std::size_t taken = reader.Feed(text.data() + offset, size);
        require(taken <= size, "used more than given", text);
        used += taken;
        if (reader.GetState() != ozra::CHttpResponseReader::State::Reading) {
            require(reader.Feed(text.data(), text.size()) == 0, "used bytes after the end", text);
            break;
        }
        require(taken == size, "stopped early while reading", text);
        offset += size;
    }
    reader.FeedEnd();
    return {reader.GetState(), used, reader.Status(), reader.KeepAlive(), reader.Started()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const Reading whole = Read(text, 0);
    require(Read(text, 1 + data[0] % 16) == whole, "pieces read differently", text);
    if (text.size() <= 4096) {
        require(Read(text, 1) == whole, "bytes one by one read differently", text);
    }
    return 0;
}
