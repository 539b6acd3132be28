#include "afx/inet/internet_call.h"

#include "afx/inet/internet_session.h"

InternetCall::InternetCall(const afx::inet::TransferLimits& limits) {
    try {
        m_session = std::make_unique<CInternetSession>(nullptr, 1, PRE_CONFIG_INTERNET_ACCESS,
                                                       nullptr, nullptr, 0);
        m_session->SetTransferLimits(limits);
    } catch (CInternetException* e) {
        e->Delete();
    }
}

InternetCall::~InternetCall() {
    // Each object keeps what it was made from alive, so the network lets go of request,
    // connection and session in that order whatever the order here; what a caller can see is
    // that its step comes after all three are closed.
    if (m_file != nullptr) {
        m_file->Close();
    }
    if (m_connection != nullptr) {
        m_connection->Close();
    }
    if (m_session) {
        m_session->Close();
    }
    if (m_afterClose) {
        m_afterClose();
    }
    delete m_file;
    delete m_connection;
}

void InternetCall::Adopt(CHttpConnection* connection, CFile* file,
                         std::function<void()> afterClose) {
    m_connection = connection;
    m_file = file;
    m_afterClose = std::move(afterClose);
}
