#include "quor_inet/transfer/progress_figures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct FiguresCase {
    const char* name;
    int32_t done;
    int32_t total;
    uint32_t elapsedMs;
    const char* percent;
    const char* speed;
    const char* remaining;
};

// Each row: the three texts one update shows.
const FiguresCase kFigures[] = {
    {"worked example", 1536, 10240, 500, "15 %", "3.0 KB/s",
     "0 Min. 03 Sek. ( 1.5 KB von 10.0 KB kopiert)"},
    {"start of the clock", 0, 10240, 0, "0 %", "0.0 KB/s",
     "0 Min. 00 Sek. ( 0.0 KB von 10.0 KB kopiert)"},
    {"first chunk in no time", 16384, 1000000, 0, "1 %", "0.0 KB/s",
     "0 Min. 00 Sek. ( 16.0 KB von 976.6 KB kopiert)"},
    {"complete", 10240, 10240, 2000, "100 %", "5.0 KB/s",
     "0 Min. 00 Sek. ( 10.0 KB von 10.0 KB kopiert)"},
    {"truncated percentage", 999, 1000, 1, "99 %", "975.5 KB/s",
     "0 Min. 00 Sek. ( 1.0 KB von 1.0 KB kopiert)"},
    // One byte is a tenth rounded up; 1023 bytes a whole KB.
    {"sizes round up", 1, 1023, 1000, "0 %", "0.0 KB/s",
     "17 Min. 02 Sek. ( 0.1 KB von 1.0 KB kopiert)"},
    {"minutes and seconds", 1024, 1024 * 100, 1000, "1 %", "1.0 KB/s",
     "1 Min. 39 Sek. ( 1.0 KB von 100.0 KB kopiert)"},
    // The total was only what came at once: past 100 % and nothing left to wait for.
    {"total smaller than done", 50000, 16384, 1000, "305 %", "48.8 KB/s",
     "0 Min. 00 Sek. ( 48.9 KB von 16.0 KB kopiert)"},
    {"empty total", 0, 0, 0, "0 %", "0.0 KB/s", "0 Min. 00 Sek. ( 0.0 KB von 0.0 KB kopiert)"},
    {"bytes but no total", 4096, 0, 10, "0 %", "400.0 KB/s",
     "0 Min. 00 Sek. ( 4.0 KB von 0.0 KB kopiert)"},
    // The last size the 32-bit figures hold, and one past it.
    {"largest 32-bit size", 214748262, 214748262, 1000, "100 %", "209715.0 KB/s",
     "0 Min. 00 Sek. ( 209715.1 KB von 209715.1 KB kopiert)"},
    {"past the 32-bit sizes", 214748263, 300000000, 1000, "71 %", "209715.1 KB/s",
     "0 Min. 01 Sek. ( 209715.2 KB von 292968.8 KB kopiert)"},
    // 3 GiB arrives as a negative count and is read as what it holds.
    {"total past 2 GiB", 1 << 30, static_cast<int32_t>(3221225472u), 10000, "33 %", "104857.6 KB/s",
     "0 Min. 20 Sek. ( 1048576.0 KB von 3145728.0 KB kopiert)"},
    {"both past 2 GiB", static_cast<int32_t>(3221225472u), -1, 1, "75 %", "429496729.5 KB/s",
     "0 Min. 00 Sek. ( 3145728.0 KB von 4194304.0 KB kopiert)"},
    {"largest counts", -1, -1, 0xFFFFFFFFu, "100 %", "0.9 KB/s",
     "0 Min. 00 Sek. ( 4194304.0 KB von 4194304.0 KB kopiert)"},
    {"one byte of 4 GiB after 49 days", 1, -1, 0xFFFFFFFFu, "0 %", "0.0 KB/s",
     "71582788 Min. 15 Sek. ( 0.1 KB von 4194304.0 KB kopiert)"},
};

TEST(ProgressFigures, TextsOfOneUpdate) {
    for (const FiguresCase& c : kFigures) {
        SCOPED_TRACE(c.name);
        const ProgressTexts texts =
            MakeProgressTexts(ComputeProgressFigures(c.done, c.total, c.elapsedMs));
        EXPECT_STREQ(texts.percent, c.percent);
        EXPECT_STREQ(texts.speed, c.speed);
        EXPECT_STREQ(texts.remaining, c.remaining);
    }
}

TEST(ProgressFigures, WorkedExampleFigures) {
    const ProgressFigures f = ComputeProgressFigures(1536, 10240, 500);
    EXPECT_EQ(f.percent, 15);
    EXPECT_EQ(f.speedTenths, 30u);
    EXPECT_EQ(f.remainingSeconds, 3u);  // 2,833 ms rounded up
    EXPECT_EQ(f.doneTenths, 15u);
    EXPECT_EQ(f.totalTenths, 100u);
}

// Inside the range where 32-bit signed arithmetic holds, the figure is exactly that.
TEST(ProgressFigures, KbTenthsMatchesThe32BitFormula) {
    for (int32_t bytes : {0, 1, 102, 103, 1023, 1024, 1025, 10240, 1048576, 214748262}) {
        SCOPED_TRACE(bytes);
        EXPECT_EQ(KbTenths(bytes), static_cast<uint32_t>((bytes * 10 + 1023) / 1024));
    }
}

TEST(ProgressFigures, PercentageIsTruncatedAndUncapped) {
    EXPECT_EQ(ProgressPercent(1, 3), 33);
    EXPECT_EQ(ProgressPercent(2, 3), 66);
    EXPECT_EQ(ProgressPercent(300, 100), 300);
    EXPECT_EQ(ProgressPercent(0x7FFFFFFF, 1), 0x7FFFFFFF);  // held below the sign bit
    EXPECT_EQ(ProgressPercent(5, 0), 0);
}

TEST(ProgressFigures, TextsStayInsideTheirBuffers) {
    ProgressFigures widest;
    widest.percent = 0x7FFFFFFF;
    widest.speedTenths = 0xFFFFFFFFu;
    widest.remainingSeconds = 0xFFFFFFFFu;
    widest.doneTenths = 0xFFFFFFFFu;
    widest.totalTenths = 0xFFFFFFFFu;
    const ProgressTexts texts = MakeProgressTexts(widest);
    EXPECT_STREQ(texts.remaining,
                 "71582788 Min. 15 Sek. ( 429496729.5 KB von 429496729.5 KB kopiert)");
    EXPECT_LT(std::strlen(texts.remaining), kProgressTextSize);

    // A short buffer gets a cut, terminated text and nothing past it.
    for (size_t size : {size_t{1}, size_t{5}, size_t{20}}) {
        SCOPED_TRACE(size);
        char buffer[32];
        std::memset(buffer, 'x', sizeof buffer);
        FormatRemainingText(widest, buffer, size);
        EXPECT_EQ(std::strlen(buffer), size - 1);
        EXPECT_EQ(buffer[size], 'x');
        FormatSpeedText(widest.speedTenths, buffer, size);
        EXPECT_EQ(std::strlen(buffer), std::min(size - 1, std::strlen("429496729.5 KB/s")));
        FormatPercentText(widest.percent, buffer, size);
        EXPECT_EQ(buffer[size], 'x');
    }
    FormatPercentText(5, nullptr, 0);  // nothing to write to: nothing happens
    EXPECT_STREQ(kInitialPercentText, MakeProgressTexts(ProgressFigures{}).percent);
}

}  // namespace
