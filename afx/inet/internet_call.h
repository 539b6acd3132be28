#pragma once
// The Internet objects of one call: its own session and the connection and request (or opened
// file) made on it, owned together so that every way out of the call closes and deletes them.

#include <functional>
#include <memory>

#include "afx/inet/transfer_guard.h"

class CInternetSession;
class CHttpConnection;
class CFile;

class InternetCall {
  public:
    // Makes the session with the settings of every session of the library: no agent name,
    // context 1, preconfigured access, no proxy, no bypass list, no flags; limits end its
    // transfers early. Session() is null when none can be made.
    explicit InternetCall(const afx::inet::TransferLimits& limits = {});
    // Closes the file, the connection and the session, runs the caller's step given to Adopt,
    // then deletes the file and the connection and destroys the session.
    ~InternetCall();
    InternetCall(const InternetCall&) = delete;
    InternetCall& operator=(const InternetCall&) = delete;

    CInternetSession* Session() const { return m_session.get(); }

    // Takes over what the call opened on the session (either may be null).
    void Adopt(CHttpConnection* connection, CFile* file, std::function<void()> afterClose = {});

  private:
    std::unique_ptr<CInternetSession> m_session;
    CHttpConnection* m_connection = nullptr;
    CFile* m_file = nullptr;
    std::function<void()> m_afterClose;
};
