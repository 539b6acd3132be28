#include <gtest/gtest.h>

#include "afx/message_box.h"

namespace {

// Nobody can answer a box here: the text goes to stderr and the answer is Cancel.
TEST(NativeMessageBox, DefaultWritesToStderrAndCancels) {
    AfxSetMessageBoxService(nullptr);
    testing::internal::CaptureStderr();
    int answer = AfxMessageBox("Please connect to Internet and press OK !", MB_OKCANCEL);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(answer, IDCANCEL);
    EXPECT_EQ(err, "Please connect to Internet and press OK !\n");
    EXPECT_EQ(AfxGetMainWnd(), nullptr);
}

}  // namespace
