#pragma once
// The Internet objects of one call: its own session and the connection and request (or opened
// file) made on it, owned together so that every way out of the call closes and deletes them
// in the order that call follows.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "afx/inet/transfer_guard.h"

class CInternetSession;
class CHttpConnection;
class CFile;

enum class CallCloseStep : uint8_t {
    kCloseFile,  // the request, or the file the session opened
    kCloseSession,
    kCloseConnection,
    kAfterClose,  // the caller's own step, given to Adopt
    kDeleteFile,
    kDeleteConnection,
};

class InternetCall {
  public:
    // Makes the session with the settings of every session of the library: no agent name,
    // context 1, preconfigured access, no proxy, no bypass list, no flags; limits end its
    // transfers early. Session() is null when none can be made.
    explicit InternetCall(std::span<const CallCloseStep> closeOrder,
                          const afx::inet::TransferLimits& limits = {});
    // Once objects have been adopted, runs the close order; deletes whatever it left; destroys
    // the session last.
    ~InternetCall();
    InternetCall(const InternetCall&) = delete;
    InternetCall& operator=(const InternetCall&) = delete;

    CInternetSession* Session() const { return m_session.get(); }

    // Takes over what the call opened on the session (either may be null).
    void Adopt(CHttpConnection* connection, CFile* file, std::function<void()> afterClose = {});

  private:
    std::span<const CallCloseStep> m_closeOrder;
    std::unique_ptr<CInternetSession> m_session;
    bool m_adopted = false;
    CHttpConnection* m_connection = nullptr;
    CFile* m_file = nullptr;
    std::function<void()> m_afterClose;
};
