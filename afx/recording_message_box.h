#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

#include "afx/message_box.h"

// Test double for the message-box seam: records each box and answers it, from a script while
// the script lasts and with one fixed answer after that. Installs itself for its lifetime.
class RecordingMessageBox : public MessageBoxService {
  public:
    struct Box {
        std::string text;
        unsigned type;
    };

    // Every box gets answer.
    explicit RecordingMessageBox(int answer = IDOK) : RecordingMessageBox({}, answer) {}
    // The boxes get the script's answers in turn, then thereafter (IDCANCEL there ends any
    // prompt loop).
    RecordingMessageBox(std::initializer_list<int> script, int thereafter)
        : m_script(script), m_thereafter(thereafter) {
        m_previous = AfxSetMessageBoxService(this);
    }
    ~RecordingMessageBox() override { AfxSetMessageBoxService(m_previous); }

    // Runs when the box with that index (from 0) is shown, before it is answered.
    std::function<void(size_t index)> onShow;

    int Show(const char* text, unsigned type) override {
        size_t index;
        int answer = m_thereafter;
        {
            std::lock_guard lock(m_mutex);
            index = m_boxes.size();
            m_boxes.push_back({text != nullptr ? text : "(null)", type});
            if (!m_script.empty()) {
                answer = m_script.front();
                m_script.pop_front();
            }
        }
        if (onShow) {
            onShow(index);
        }
        return answer;
    }

    std::vector<Box> Boxes() {
        std::lock_guard lock(m_mutex);
        return m_boxes;
    }

  private:
    std::mutex m_mutex;
    std::deque<int> m_script;
    int m_thereafter;
    std::vector<Box> m_boxes;
    MessageBoxService* m_previous;
};
