#include "afx/exceptions.h"

#include <gtest/gtest.h>

#include <cstring>

#include "afx/message_box.h"
#include "afx/recording_message_box.h"

namespace {

TEST(Exceptions, ThrownByPointerAndDeletedByCatcher) {
    bool caught = false;
    try {
        throw new CFileException();
    } catch (CException* e) {
        EXPECT_NE(dynamic_cast<CFileException*>(e), nullptr);
        e->Delete();
        caught = true;
    }
    EXPECT_TRUE(caught);
    try {
        AfxThrowMemoryException();
    } catch (CMemoryException* e) {
        char text[64];
        EXPECT_EQ(e->GetErrorMessage(text, sizeof text), 1);
        EXPECT_STREQ(text, "Out of memory.");
        e->Delete();
    }
}

TEST(Exceptions, ErrorMessageStaysInsideTheBuffer) {
    char buffer[16];
    memset(buffer, '#', sizeof buffer);
    CMemoryException memory;
    memory.GetErrorMessage(buffer, 5);
    EXPECT_STREQ(buffer, "Out ");
    EXPECT_EQ(buffer[5], '#');
}

// A file error carries no description of its own: its report says so, with the buttons asked.
TEST(Exceptions, ReportErrorShowsTheDescriptionWithTheTypeAsked) {
    RecordingMessageBox boxes(IDOK);
    EXPECT_EQ(CMemoryException().ReportError(), IDOK);
    EXPECT_EQ(CFileException().ReportError(MB_OK), IDOK);
    auto shown = boxes.Boxes();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, "Out of memory.");
    EXPECT_EQ(shown[0].type, MB_OK | MB_ICONEXCLAMATION);
    EXPECT_EQ(shown[1].text, "No error message is available.");
    EXPECT_EQ(shown[1].type, MB_OK);
}

TEST(MessageBox, ServiceReceivesTextAndTypeAndAnswers) {
    RecordingMessageBox boxes(IDYES);
    EXPECT_EQ(AfxMessageBox("Do you really want to Cancel ?", MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(AfxMessageBox(static_cast<const char*>(nullptr)), IDYES);
    auto shown = boxes.Boxes();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, "Do you really want to Cancel ?");
    EXPECT_EQ(shown[0].type, 0x24u);
    EXPECT_EQ(shown[1].text, "");
    EXPECT_EQ(shown[1].type, 0u);
}

TEST(MessageBox, RestoringTheServiceNests) {
    RecordingMessageBox outer;
    {
        RecordingMessageBox inner(IDNO);
        EXPECT_EQ(AfxMessageBox("inner"), IDNO);
    }
    EXPECT_EQ(AfxMessageBox("outer"), IDOK);
    ASSERT_EQ(outer.Boxes().size(), 1u);
    EXPECT_EQ(outer.Boxes()[0].text, "outer");
}

}  // namespace
