#include "afx/inet/body_reader.h"

#include <algorithm>
#include <cstring>

#include "afx/inet/file.h"
#include "afx/inet/http_headers.h"
#include "afx/inet/internet_exception.h"

namespace afx::inet {

namespace {

constexpr uint32_t kStatusPartialContent = 206;
constexpr uint32_t kStatusRangeNotSatisfiable = 416;

// The size a response announces for its body, if any; a decoded body has none.
std::optional<uint64_t> AnnouncedLength(BackendRequest& request) {
    std::string value;
    if (request.BodyDecoded()) {
        return std::nullopt;
    }
    if (request.QueryHeader("Transfer-Encoding", value) && IsChunkedEncoding(value)) {
        return std::nullopt;
    }
    if (!request.QueryHeader("Content-Length", value)) {
        return std::nullopt;
    }
    return ParseContentLength(value);
}

// Reads a response that should have nothing (or a short page) left to its end, so that its
// connection can be used again; a longer rest is left to the closing of the request.
void DrainShortPage(BackendRequest& request) {
    uint8_t scratch[1024];
    for (int reads = 0; reads < 4; ++reads) {
        uint32_t n = 0;
        uint32_t error = 0;
        if (!request.Read(scratch, sizeof scratch, n, error) || n == 0) {
            return;
        }
        CountBodyBytes(n);
    }
}

}  // namespace

BodyReader::BodyReader(std::shared_ptr<BackendConnection> connection, uint32_t context)
    : connection_(std::move(connection)), context_(context) {}

BodyReader::BodyReader(std::shared_ptr<BackendConnection> connection,
                       std::unique_ptr<BackendRequest> request, uint32_t context)
    : connection_(std::move(connection)), request_(request.get()), context_(context) {
    stream_ = std::move(request);
}

std::unique_ptr<BodyReader> BodyReader::FromStream(std::unique_ptr<BackendStream> stream,
                                                   std::optional<uint64_t> size, uint32_t context) {
    std::unique_ptr<BodyReader> reader(new BodyReader(nullptr, context));
    reader->stream_ = std::move(stream);
    reader->stream_->SetBufferSize(reader->bufferSize_);
    reader->size_ = size;
    reader->sent_ = true;
    return reader;
}

std::string BodyReader::FirstBlockHeaders(uint32_t blockSize, const std::string& extraHeaders) {
    return RangeHeaderLine(0, blockSize) + extraHeaders;
}

std::unique_ptr<BodyReader> BodyReader::FromFirstBlock(
    std::shared_ptr<BackendConnection> connection, std::unique_ptr<BackendRequest> sent,
    std::string object, std::string extraHeaders, bool secure, uint32_t context,
    uint32_t blockSize) {
    std::unique_ptr<BodyReader> reader(new BodyReader(std::move(connection), context));
    reader->object_ = std::move(object);
    reader->extraHeaders_ = std::move(extraHeaders);
    reader->secure_ = secure;
    reader->bufferSize_ = blockSize;
    reader->sent_ = true;
    reader->ranged_ = true;
    reader->Adopt(std::move(sent), 0);
    return reader;
}

void BodyReader::Fail(uint32_t error) {
    AfxThrowInternetException(context_, error);
}

void BodyReader::CheckOpen() const {
    if (closed_) {
        AfxThrowInternetException(context_, ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    }
}

BackendRequest& BodyReader::Request() const {
    CheckOpen();
    if (request_ == nullptr) {
        AfxThrowInternetException(context_, ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    }
    return *request_;
}

BackendStream& BodyReader::Stream() const {
    CheckOpen();
    if (!stream_) {
        AfxThrowInternetException(context_, ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    }
    return *stream_;
}

void BodyReader::Send(const std::string& headers) {
    BackendRequest& request = Request();
    if (sent_ || ranged_) {
        Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    }
    uint32_t error = 0;
    CountRequestSent();
    if (!request.Send(headers, error)) {
        Fail(error);
    }
    sent_ = true;
    size_ = AnnouncedLength(request);
    request.SetBufferSize(bufferSize_);
}

void BodyReader::Adopt(std::unique_ptr<BackendRequest> sent, uint64_t requestedStart) {
    uint32_t status = 0;
    sent->QueryStatusCode(status);
    std::string value;
    std::optional<ContentRange> range;
    if (sent->QueryHeader("Content-Range", value)) {
        range = ParseContentRange(value);
    }
    if (status == kStatusRangeNotSatisfiable && range && !range->satisfied) {
        size_ = range->total;
        blockStart_ = requestedStart;
        block_.clear();
        DrainShortPage(*sent);
        return;
    }
    if (status != kStatusPartialContent) {
        // The server sent the whole resource (or an error page): read it as one stream.
        StartStreaming(std::move(sent));
        return;
    }
    if (!range || !range->satisfied || range->first != requestedStart) {
        Fail(ERROR_HTTP_INVALID_SERVER_RESPONSE);
    }
    if (range->total) {
        size_ = range->total;
    }
    // Never more than was asked for, whatever the server claims.
    uint64_t expected = std::min<uint64_t>(range->last - range->first + 1, bufferSize_);
    block_.resize(static_cast<size_t>(expected));
    blockStart_ = range->first;
    size_t filled = 0;
    while (filled < block_.size()) {
        uint32_t n = 0;
        uint32_t error = 0;
        if (!sent->Read(block_.data() + filled, static_cast<uint32_t>(block_.size() - filled), n,
                        error)) {
            block_.clear();
            Fail(error);
        }
        if (n == 0) {
            block_.clear();
            Fail(ERROR_INTERNET_CONNECTION_ABORTED);
        }
        CountBodyBytes(n);
        filled += n;
    }
    // Read on to the end of the response so that its connection can serve the next block.
    DrainShortPage(*sent);
    if (!range->total && block_.size() < bufferSize_) {
        size_ = blockStart_ + block_.size();  // a short block of an unknown total is the last
    }
}

void BodyReader::StartStreaming(std::unique_ptr<BackendRequest> sent) {
    ranged_ = false;
    request_ = sent.get();
    stream_ = std::move(sent);
    size_ = AnnouncedLength(*request_);
    stream_->SetBufferSize(bufferSize_);
    block_.clear();
    block_.shrink_to_fit();
    streamPosition_ = 0;
    streamEnded_ = false;
    historyLength_ = 0;
    historyHead_ = 0;
}

void BodyReader::FetchBlock(uint64_t start) {
    uint32_t error = 0;
    std::unique_ptr<BackendRequest> request =
        connection_->OpenRequest(object_.c_str(), secure_, error);
    if (!request) {
        Fail(error);
    }
    CountRequestSent();
    if (!request->Send(RangeHeaderLine(start, bufferSize_) + extraHeaders_, error)) {
        Fail(error);
    }
    Adopt(std::move(request), start);
}

void BodyReader::Remember(const uint8_t* data, uint32_t count) {
    if (history_.empty()) {
        history_.resize(kHistoryBytes);
    }
    if (count >= kHistoryBytes) {
        data += count - kHistoryBytes;
        count = kHistoryBytes;
    }
    uint32_t first = std::min(count, kHistoryBytes - historyHead_);
    memcpy(history_.data() + historyHead_, data, first);
    memcpy(history_.data(), data + first, count - first);
    historyHead_ = (historyHead_ + count) % kHistoryBytes;
    historyLength_ = std::min(kHistoryBytes, historyLength_ + count);
}

void BodyReader::Replay(uint64_t from, uint8_t* out, uint32_t count) const {
    // Byte streamPosition_ - k sits k places behind the head.
    auto back = static_cast<uint32_t>(streamPosition_ - from);
    uint32_t index = (historyHead_ + kHistoryBytes - back) % kHistoryBytes;
    for (uint32_t i = 0; i < count; ++i) {
        out[i] = history_[(index + i) % kHistoryBytes];
    }
}

uint32_t BodyReader::StreamRead(uint8_t* buffer, uint32_t count) {
    if (failed_ != 0) {
        Fail(failed_);
    }
    if (streamEnded_ || count == 0) {
        return 0;
    }
    if (size_) {
        if (streamPosition_ >= *size_) {
            streamEnded_ = true;
            return 0;
        }
        count = static_cast<uint32_t>(std::min<uint64_t>(count, *size_ - streamPosition_));
    }
    uint32_t n = 0;
    uint32_t error = 0;
    if (!Stream().Read(buffer, count, n, error)) {
        failed_ = error != 0 ? error : ERROR_INTERNET_CONNECTION_ABORTED;
        Fail(failed_);
    }
    if (n == 0) {
        streamEnded_ = true;
        if (size_ && streamPosition_ < *size_) {
            // The body ended before its announced length: the data is incomplete.
            failed_ = ERROR_INTERNET_CONNECTION_ABORTED;
            Fail(failed_);
        }
        return 0;
    }
    n = std::min(n, count);
    CountBodyBytes(n);
    Remember(buffer, n);
    streamPosition_ += n;
    return n;
}

void BodyReader::CatchUp() {
    uint8_t scratch[4096];
    while (streamPosition_ < position_) {
        auto want =
            static_cast<uint32_t>(std::min<uint64_t>(sizeof scratch, position_ - streamPosition_));
        if (StreamRead(scratch, want) == 0) {
            return;
        }
    }
}

uint32_t BodyReader::Read(void* buffer, uint32_t count) {
    CheckOpen();
    if (!sent_) {
        Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    }
    uint32_t got = 0;
    try {
        ReadInto(static_cast<uint8_t*>(buffer), count, got);
    } catch (CInternetException* e) {
        // What arrived before the failure is the caller's; the failure is met again by the
        // next read (a streamed body keeps it, a ranged block is asked for again).
        if (got == 0) {
            throw;
        }
        e->Delete();
    }
    return got;
}

void BodyReader::ReadInto(uint8_t* out, uint32_t count, uint32_t& got) {
    // Each turn moves the position or ends the loop; the bound only guards against a
    // backend that keeps answering without data.
    for (int idle = 0; got < count && idle < 3;) {
        if (size_ && position_ >= *size_) {
            break;
        }
        if (ranged_) {
            if (BlockHolds(position_)) {
                auto offset = static_cast<size_t>(position_ - blockStart_);
                auto n =
                    static_cast<uint32_t>(std::min<size_t>(count - got, block_.size() - offset));
                memcpy(out + got, block_.data() + offset, n);
                got += n;
                position_ += n;
                idle = 0;
                continue;
            }
            FetchBlock(position_);
            if (ranged_ && block_.empty()) {
                break;  // past the end
            }
            ++idle;
            continue;
        }
        if (position_ < streamPosition_) {
            auto n =
                static_cast<uint32_t>(std::min<uint64_t>(count - got, streamPosition_ - position_));
            Replay(position_, out + got, n);
            got += n;
            position_ += n;
            continue;
        }
        if (position_ > streamPosition_) {
            CatchUp();
            if (position_ > streamPosition_) {
                break;  // the body ended first
            }
        }
        uint32_t n = StreamRead(out + got, count - got);
        if (n == 0) {
            break;
        }
        got += n;
        position_ += n;
    }
}

int64_t BodyReader::Seek(int64_t offset, unsigned from) {
    CheckOpen();
    if (!sent_) {
        Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    }
    int64_t base = 0;
    switch (from) {
        case CFile::begin:
            base = 0;
            break;
        case CFile::current:
            base = static_cast<int64_t>(position_);
            break;
        case CFile::end:
            if (!size_) {
                Fail(ERROR_INTERNET_INVALID_OPERATION);
            }
            base = static_cast<int64_t>(*size_);
            break;
        default:
            Fail(ERROR_INTERNET_INVALID_OPERATION);
    }
    int64_t target = base + offset;
    if (target < 0) {
        Fail(ERROR_INTERNET_INVALID_OPERATION);
    }
    if (!ranged_) {
        uint64_t oldest = streamPosition_ - historyLength_;
        if (static_cast<uint64_t>(target) < oldest) {
            Fail(ERROR_INTERNET_INVALID_OPERATION);
        }
    }
    position_ = static_cast<uint64_t>(target);
    return target;
}

uint32_t BodyReader::Available() {
    CheckOpen();
    if (!sent_) {
        Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    }
    for (int turn = 0; turn < 2; ++turn) {
        if (size_ && position_ >= *size_) {
            return 0;
        }
        if (ranged_) {
            if (BlockHolds(position_)) {
                return static_cast<uint32_t>(block_.size() - (position_ - blockStart_));
            }
            FetchBlock(position_);
            if (ranged_ && block_.empty()) {
                return 0;
            }
            continue;  // a block, or a stream now
        }
        if (position_ < streamPosition_) {
            return static_cast<uint32_t>(streamPosition_ - position_);
        }
        CatchUp();
        if (position_ > streamPosition_ || streamEnded_) {
            return 0;
        }
        if (failed_ != 0) {
            Fail(failed_);
        }
        uint32_t available = 0;
        uint32_t error = 0;
        if (!Stream().QueryDataAvailable(available, error)) {
            failed_ = error;
            Fail(error);
        }
        if (size_) {
            available =
                static_cast<uint32_t>(std::min<uint64_t>(available, *size_ - streamPosition_));
        }
        return available;
    }
    return 0;
}

bool BodyReader::SetBufferSize(uint32_t size) {
    if (size > kMaxBufferSize) {
        return false;
    }
    bufferSize_ = size == 0 ? kDefaultBufferSize : std::max<uint32_t>(size, 1024);
    if (stream_) {
        stream_->SetBufferSize(bufferSize_);
    }
    return true;
}

bool BodyReader::StatusCode(uint32_t& statusOut) const {
    if (closed_ || !sent_) {
        return false;
    }
    if (ranged_) {
        statusOut = 200;  // the file is the whole resource, however it is fetched
        return true;
    }
    return request_ != nullptr && request_->QueryStatusCode(statusOut);
}

bool BodyReader::Header(const char* name, std::string& valueOut) const {
    return !closed_ && sent_ && !ranged_ && request_ != nullptr &&
           request_->QueryHeader(name, valueOut);
}

void BodyReader::Close() {
    closed_ = true;
    request_ = nullptr;
    stream_.reset();
    connection_.reset();
    block_.clear();
    block_.shrink_to_fit();
    history_.clear();
    history_.shrink_to_fit();
}

}  // namespace afx::inet
