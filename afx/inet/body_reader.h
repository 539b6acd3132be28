#pragma once
// Where a remote file's position meets the network: the reading, seeking and size logic of
// CInternetFile over a backend, written once for both backends. Internal to afx/inet.
//
// Two ways to read a body:
// - streaming: one response (or a file of an FTP server) read from its start; forward seeks
//   read and drop, backward seeks replay from a history of the last bytes read;
// - ranged: the resource fetched in blocks of the read buffer size, one request with
//   "Range: bytes=a-b" per block on the session's kept-alive connection; any seek only moves
//   where the next block starts. A server that ignores the range turns it into streaming.
// Every failure throws CInternetException*, but for a read that had received bytes before it:
// that read returns them, and the next one meets the failure.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "afx/inet/backend.h"

namespace afx::inet {

class BodyReader {
  public:
    // Streaming over a request that is sent later (Send).
    BodyReader(std::shared_ptr<BackendConnection> connection,
               std::unique_ptr<BackendRequest> request, uint32_t context);
    // Ranged reading of object (over TLS when secure), starting from the sent response to the
    // request for the first block (made with FirstBlockHeaders).
    static std::unique_ptr<BodyReader> FromFirstBlock(std::shared_ptr<BackendConnection> connection,
                                                      std::unique_ptr<BackendRequest> sent,
                                                      std::string object, std::string extraHeaders,
                                                      bool secure, uint32_t context,
                                                      uint32_t blockSize);
    static std::string FirstBlockHeaders(uint32_t blockSize, const std::string& extraHeaders);
    // Streaming of a body that is already coming (a file of an FTP server), whose size is
    // known beforehand or not at all.
    static std::unique_ptr<BodyReader> FromStream(std::unique_ptr<BackendStream> stream,
                                                  std::optional<uint64_t> size, uint32_t context);

    void Send(const std::string& headers);

    uint32_t Read(void* buffer, uint32_t count);
    int64_t Seek(int64_t offset, unsigned from);
    uint32_t Available();
    bool SetBufferSize(uint32_t size);

    bool StatusCode(uint32_t& statusOut) const;
    // A header of the streamed response; false for a ranged file and before a response.
    bool Header(const char* name, std::string& valueOut) const;
    std::optional<uint64_t> Size() const { return size_; }
    bool Ranged() const { return ranged_; }

    void Close();

    static constexpr uint32_t kHistoryBytes = 4096;
    static constexpr uint32_t kDefaultBufferSize = 16384;
    static constexpr uint32_t kMaxBufferSize = 16u << 20;

  private:
    BodyReader(std::shared_ptr<BackendConnection> connection, uint32_t context);

    [[noreturn]] void Fail(uint32_t error);
    void CheckOpen() const;
    BackendRequest& Request() const;
    BackendStream& Stream() const;

    // Takes a sent response: its status decides between a ranged block and streaming.
    void Adopt(std::unique_ptr<BackendRequest> sent, uint64_t requestedStart);
    void StartStreaming(std::unique_ptr<BackendRequest> sent);
    void FetchBlock(uint64_t start);
    bool BlockHolds(uint64_t position) const {
        return position >= blockStart_ && position - blockStart_ < block_.size();
    }

    // Fills out from the position until count bytes or the end; got counts what is in out
    // when a failure throws.
    void ReadInto(uint8_t* out, uint32_t count, uint32_t& got);
    // Streaming: one backend read into buffer, noting the bytes in the history.
    uint32_t StreamRead(uint8_t* buffer, uint32_t count);
    // Streaming: reads and drops until the stream has reached position_ (or its end).
    void CatchUp();
    void Remember(const uint8_t* data, uint32_t count);
    void Replay(uint64_t from, uint8_t* out, uint32_t count) const;

    std::shared_ptr<BackendConnection> connection_;
    std::unique_ptr<BackendStream> stream_;  // what is streamed
    BackendRequest* request_ = nullptr;      // stream_, when that is an HTTP request
    uint32_t context_;
    uint32_t bufferSize_ = kDefaultBufferSize;
    bool sent_ = false;
    bool closed_ = false;
    uint32_t failed_ = 0;  // the error that ended the transfer

    std::optional<uint64_t> size_;  // the whole body, when the response announced it
    uint64_t position_ = 0;

    bool ranged_ = false;
    std::string object_;
    std::string extraHeaders_;
    bool secure_ = false;
    uint64_t blockStart_ = 0;
    std::vector<uint8_t> block_;

    uint64_t streamPosition_ = 0;  // body offset of the stream's next byte
    bool streamEnded_ = false;
    std::vector<uint8_t> history_;  // ring of the last bytes read from the stream
    uint32_t historyLength_ = 0;
    uint32_t historyHead_ = 0;  // where the next byte goes
};

// Counting hooks of the Internet classes (internet_session.cpp).
void CountRequestSent();
void CountBodyBytes(uint64_t count);

}  // namespace afx::inet
