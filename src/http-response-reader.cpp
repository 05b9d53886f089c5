#include "http-response-reader.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>

namespace ozra {

namespace {

constexpr std::uint64_t max_length = std::numeric_limits<std::uint64_t>::max();

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int HexValue(char c) {
    if (IsDigit(c)) {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool IsTokenChar(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
           (c != '\0' && std::strchr("!#$%&'*+-.^_`|~", c) != nullptr);
}

bool IsOws(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimOws(std::string_view text) {
    while (!text.empty() && IsOws(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsOws(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool IEquals(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x >= 'A' && x <= 'Z' ? x - 'A' + 'a' : x) ==
                      (y >= 'A' && y <= 'Z' ? y - 'A' + 'a' : y);
           });
}

// Calls handle with each trimmed element of a comma-separated list, empty ones included.
template <typename Handle>
void ForEachElement(std::string_view list, Handle handle) {
    for (;;) {
        const auto comma = list.find(',');
        handle(TrimOws(list.substr(0, comma)));
        if (comma == std::string_view::npos) {
            return;
        }
        list.remove_prefix(comma + 1);
    }
}

bool ParseDecimal(std::string_view text, std::uint64_t& value) {
    if (text.empty()) {
        return false;
    }
    value = 0;
    for (const char c : text) {
        if (!IsDigit(c) || value > (max_length - (c - '0')) / 10) {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    return true;
}

// "HTTP/1.x NNN reason", where the reason and the space before it may be missing.
bool ParseStatusLine(std::string_view line, unsigned& status, bool& http10) {
    if (line.size() < 12 || line.substr(0, 7) != "HTTP/1." || !IsDigit(line[7]) || line[8] != ' ' ||
        line[9] == '0' || !IsDigit(line[9]) || !IsDigit(line[10]) || !IsDigit(line[11]) ||
        (line.size() > 12 && line[12] != ' ')) {
        return false;
    }
    status = (line[9] - '0') * 100 + (line[10] - '0') * 10 + (line[11] - '0');
    http10 = line[7] == '0';
    return true;
}

bool SplitHeaderLine(std::string_view line, std::string_view& name, std::string_view& value) {
    const auto colon = line.find(':');
    if (colon == 0 || colon == std::string_view::npos) {
        return false;
    }
    name = line.substr(0, colon);
    value = TrimOws(line.substr(colon + 1));
    return std::all_of(name.begin(), name.end(), IsTokenChar);
}

}  // namespace

void CHttpResponseReader::Reset() {
    mState = State::Reading;
    mStarted = false;
    mStatus = 0;
    mKeepAlive = false;
    mLine.clear();
    mRemaining = 0;
    StartHead();
}

void CHttpResponseReader::StartHead() {
    mStep = Step::StatusLine;
    mLineBudget = max_head_bytes;
    mHttp10 = false;
    mConnectionClose = false;
    mConnectionKeepAlive = false;
    mHasTransferEncoding = false;
    mChunked = false;
    mHasContentLength = false;
    mContentLength = 0;
}

// Each chunk-size line, and the last one together with the trailers, gets the same allowance as a head.
void CHttpResponseReader::StartChunk() {
    mStep = Step::ChunkSizeLine;
    mLineBudget = max_head_bytes;
}

std::size_t CHttpResponseReader::Feed(const char* data, std::size_t size) {
    std::size_t used = 0;
    while (used < size && mState == State::Reading) {
        mStarted = true;
        const std::size_t available = size - used;
        switch (mStep) {
            case Step::FixedBody:
            case Step::ChunkData: {
                const auto skipped = static_cast<std::size_t>(std::min<std::uint64_t>(mRemaining, available));
                used += skipped;
                mRemaining -= skipped;
                if (mRemaining == 0) {
                    if (mStep == Step::FixedBody) {
                        mState = State::Complete;
                    } else {
                        mStep = Step::ChunkDataCr;
                    }
                }
                break;
            }
            case Step::ChunkDataCr:
            case Step::ChunkDataLf:
                if (data[used] == '\r' && mStep == Step::ChunkDataCr) {
                    mStep = Step::ChunkDataLf;
                } else if (data[used] == '\n') {
                    StartChunk();
                } else {
                    mState = State::Malformed;
                    return used;
                }
                ++used;
                break;
            case Step::UntilClose:
                used = size;
                break;
            case Step::StatusLine:
            case Step::HeaderLine:
            case Step::ChunkSizeLine:
            case Step::TrailerLine: {
                const char* start = data + used;
                const auto* lf = static_cast<const char*>(std::memchr(start, '\n', available));
                const std::size_t length =
                    lf != nullptr ? static_cast<std::size_t>(lf - start) + 1 : available;
                if (length > mLineBudget) {
                    mState = State::Malformed;
                    return used + mLineBudget;
                }
                mLineBudget -= length;
                used += length;
                if (lf == nullptr) {
                    mLine.append(start, length);
                    break;
                }
                mLine.append(start, length - 1);
                if (!mLine.empty() && mLine.back() == '\r') {
                    mLine.pop_back();
                }
                const bool valid = OnLine();
                mLine.clear();
                if (!valid) {
                    mState = State::Malformed;
                    return used - 1;
                }
                break;
            }
        }
    }
    return used;
}

void CHttpResponseReader::FeedEnd() {
    if (mState == State::Reading) {
        mState = mStep == Step::UntilClose ? State::Complete : State::Malformed;
    }
}

bool CHttpResponseReader::OnLine() {
    if (mStep == Step::StatusLine) {
        return OnStatusLine();
    }
    if (mStep == Step::HeaderLine) {
        return mLine.empty() ? OnHeadEnd() : OnHeaderLine();
    }
    if (mStep == Step::ChunkSizeLine) {
        return OnChunkSizeLine();
    }
    if (mLine.empty()) {
        mState = State::Complete;
        return true;
    }
    std::string_view name;
    std::string_view value;
    return SplitHeaderLine(mLine, name, value);
}

bool CHttpResponseReader::OnStatusLine() {
    if (!ParseStatusLine(mLine, mStatus, mHttp10)) {
        return false;
    }
    mStep = Step::HeaderLine;
    return true;
}

bool CHttpResponseReader::OnHeaderLine() {
    std::string_view name;
    std::string_view value;
    if (!SplitHeaderLine(mLine, name, value)) {
        return false;
    }
    bool valid = true;
    if (IEquals(name, "content-length")) {
        ForEachElement(value, [this, &valid](std::string_view element) {
            std::uint64_t length = 0;
            if (!ParseDecimal(element, length) || (mHasContentLength && length != mContentLength)) {
                valid = false;
            }
            mHasContentLength = true;
            mContentLength = length;
        });
    } else if (IEquals(name, "transfer-encoding")) {
        ForEachElement(value, [this](std::string_view element) {
            if (!element.empty()) {
                mHasTransferEncoding = true;
                mChunked = IEquals(TrimOws(element.substr(0, element.find(';'))), "chunked");
            }
        });
    } else if (IEquals(name, "connection")) {
        ForEachElement(value, [this](std::string_view element) {
            mConnectionClose = mConnectionClose || IEquals(element, "close");
            mConnectionKeepAlive = mConnectionKeepAlive || IEquals(element, "keep-alive");
        });
    }
    return valid;
}

bool CHttpResponseReader::OnHeadEnd() {
    if (mStatus < 200) {
        StartHead();
        return true;
    }
    mKeepAlive = !mConnectionClose && (!mHttp10 || mConnectionKeepAlive);
    if (mStatus == 204 || mStatus == 304) {
        mState = State::Complete;
    } else if (mChunked) {
        StartChunk();
    } else if (mHasTransferEncoding || !mHasContentLength) {
        mStep = Step::UntilClose;
        mKeepAlive = false;
    } else if (mContentLength == 0) {
        mState = State::Complete;
    } else {
        mRemaining = mContentLength;
        mStep = Step::FixedBody;
    }
    return true;
}

// Hex size, optional whitespace, then nothing or ";extensions".
bool CHttpResponseReader::OnChunkSizeLine() {
    std::uint64_t size = 0;
    std::size_t position = 0;
    for (; position < mLine.size() && HexValue(mLine[position]) >= 0; ++position) {
        if (size > max_length >> 4) {
            return false;
        }
        size = size << 4 | static_cast<std::uint64_t>(HexValue(mLine[position]));
    }
    if (position == 0) {
        return false;
    }
    while (position < mLine.size() && IsOws(mLine[position])) {
        ++position;
    }
    if (position < mLine.size() && mLine[position] != ';') {
        return false;
    }
    if (size == 0) {
        mStep = Step::TrailerLine;
    } else {
        mRemaining = size;
        mStep = Step::ChunkData;
    }
    return true;
}

}  // namespace ozra
