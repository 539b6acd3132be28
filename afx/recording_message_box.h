#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "afx/message_box.h"

// Test double for the message-box seam: records each box and gives a fixed answer. Installs
// itself for its lifetime.
class RecordingMessageBox : public MessageBoxService {
  public:
    struct Box {
        std::string text;
        unsigned type;
    };

    explicit RecordingMessageBox(int answer = IDOK) : m_answer(answer) {
        m_previous = AfxSetMessageBoxService(this);
    }
    ~RecordingMessageBox() override { AfxSetMessageBoxService(m_previous); }

    int Show(const char* text, unsigned type) override {
        std::lock_guard lock(m_mutex);
        m_boxes.push_back({text, type});
        return m_answer;
    }

    std::vector<Box> Boxes() {
        std::lock_guard lock(m_mutex);
        return m_boxes;
    }

  private:
    std::mutex m_mutex;
    std::vector<Box> m_boxes;
    int m_answer;
    MessageBoxService* m_previous;
};
