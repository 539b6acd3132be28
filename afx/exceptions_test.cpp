#include "afx/exceptions.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "afx/message_box.h"
#include "afx/recording_message_box.h"

namespace {

TEST(Exceptions, ThrownByPointerAndDeletedByCatcher) {
    bool caught = false;
    try {
        AfxThrowFileException(CFileException::diskFull, 112, "C:\\out.mp3");
    } catch (CException* e) {
        auto* file = dynamic_cast<CFileException*>(e);
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(file->m_cause, CFileException::diskFull);
        EXPECT_EQ(file->m_lOsError, 112);
        EXPECT_STREQ(file->m_strFileName, "C:\\out.mp3");
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

TEST(Exceptions, FileMessagesNameTheFileForEveryCause) {
    for (int cause = CFileException::none; cause <= CFileException::endOfFile + 1; ++cause) {
        SCOPED_TRACE(cause);
        CFileException e(cause, 0, "song.mp3");
        char text[256];
        unsigned help = 999;
        EXPECT_EQ(e.GetErrorMessage(text, sizeof text, &help), 1);
        EXPECT_NE(strstr(text, "song.mp3"), nullptr) << text;
        EXPECT_EQ(help, unsigned(cause));
    }
    CFileException unnamed(CFileException::accessDenied);
    char text[256];
    unnamed.GetErrorMessage(text, sizeof text);
    EXPECT_STREQ(text, "Access to (unnamed) was denied.");
}

TEST(Exceptions, ErrorMessageStaysInsideTheBuffer) {
    std::string longName(5000, 'n');
    CFileException e(CFileException::fileNotFound, 2, longName.c_str());
    for (unsigned size : {0u, 1u, 2u, 10u, 260u}) {
        SCOPED_TRACE(size);
        char buffer[300];
        memset(buffer, '#', sizeof buffer);
        e.GetErrorMessage(buffer, size);
        if (size > 0) {
            EXPECT_EQ(strlen(buffer), size - 1);
        }
        for (unsigned i = size; i < sizeof buffer; ++i) {
            ASSERT_EQ(buffer[i], '#') << "written past the buffer at " << i;
        }
    }
    char buffer[16];
    memset(buffer, '#', sizeof buffer);
    CMemoryException memory;
    memory.GetErrorMessage(buffer, 5);
    EXPECT_STREQ(buffer, "Out ");
    EXPECT_EQ(buffer[5], '#');
}

TEST(Exceptions, ReportErrorShowsTheStandardTextWithOkAndExclamation) {
    RecordingMessageBox boxes(IDOK);
    CFileException e(CFileException::sharingViolation, 32, "D:\\a.mp3");
    EXPECT_EQ(e.ReportError(), IDOK);
    auto shown = boxes.Boxes();
    ASSERT_EQ(shown.size(), 1u);
    char expected[256];
    e.GetErrorMessage(expected, sizeof expected);
    EXPECT_EQ(shown[0].text, expected);
    EXPECT_EQ(shown[0].type, MB_OK | MB_ICONEXCLAMATION);
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
