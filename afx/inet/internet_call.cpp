#include "afx/inet/internet_call.h"

#include "afx/inet/internet_session.h"

InternetCall::InternetCall(std::span<const CallCloseStep> closeOrder,
                           const afx::inet::TransferLimits& limits)
    : m_closeOrder(closeOrder) {
    try {
        m_session = std::make_unique<CInternetSession>(nullptr, 1, PRE_CONFIG_INTERNET_ACCESS,
                                                       nullptr, nullptr, 0);
        m_session->SetTransferLimits(limits);
    } catch (CInternetException* e) {
        e->Delete();
    }
}

InternetCall::~InternetCall() {
    if (m_adopted) {
        for (const CallCloseStep step : m_closeOrder) {
            switch (step) {
                case CallCloseStep::kCloseFile:
                    if (m_file != nullptr) {
                        m_file->Close();
                    }
                    break;
                case CallCloseStep::kCloseSession:
                    m_session->Close();
                    break;
                case CallCloseStep::kCloseConnection:
                    if (m_connection != nullptr) {
                        m_connection->Close();
                    }
                    break;
                case CallCloseStep::kAfterClose:
                    if (m_afterClose) {
                        m_afterClose();
                    }
                    break;
                case CallCloseStep::kDeleteFile:
                    delete m_file;
                    m_file = nullptr;
                    break;
                case CallCloseStep::kDeleteConnection:
                    delete m_connection;
                    m_connection = nullptr;
                    break;
            }
        }
    }
    delete m_file;
    delete m_connection;
}

void InternetCall::Adopt(CHttpConnection* connection, CFile* file,
                         std::function<void()> afterClose) {
    m_adopted = m_session != nullptr;
    m_connection = connection;
    m_file = file;
    m_afterClose = std::move(afterClose);
}
