// The same cases natively and, through Wine, against sndcore.dll.
#include "maker/sndcore/sndcore.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class SndcoreFiles : public testing::Test {
  protected:
    void SetUp() override {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        m_dir = fs::temp_directory_path() / (std::string("sndcore_test_") + info->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override {
        AL_TestSetFreeBytes(-1);
        AL_TestSetWriteLimit(-1);
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }
    std::string PathOf(const char* name) const { return (m_dir / name).string(); }
    static std::string Contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    fs::path m_dir;
};

TEST_F(SndcoreFiles, CreateWriteCloseGivesTheBytes) {
    const std::string path = PathOf("take.wav");
    int handle = AL_lcreat(path.c_str());
    ASSERT_GE(handle, 0);
    std::string data;
    for (int i = 0; i < 40000; ++i) {
        data += char(i * 7);
    }
    EXPECT_NE(AL_lwrite(handle, data.data(), 16384), 0);
    EXPECT_NE(AL_lwrite(handle, data.data() + 16384, uint32_t(data.size() - 16384)), 0);
    EXPECT_NE(AL_lwrite(handle, data.data(), 0), 0) << "nothing to write is no failure";
    EXPECT_EQ(_lclose(handle), 0);
    EXPECT_EQ(Contents(path), data);
}

TEST_F(SndcoreFiles, ExistingFileIsEmptied) {
    const std::string path = PathOf("again.mp3");
    { std::ofstream(path, std::ios::binary) << "old contents that must go"; }
    int handle = AL_lcreat(path.c_str());
    ASSERT_GE(handle, 0);
    EXPECT_NE(AL_lwrite(handle, "new", 3), 0);
    _lclose(handle);
    EXPECT_EQ(Contents(path), "new");
}

TEST_F(SndcoreFiles, PlacesThatCannotBeCreatedFail) {
    const std::string cases[] = {
        PathOf("no such folder") + "/file.mp3",
        m_dir.string(),  // a folder
        "",
    };
    for (const std::string& path : cases) {
        SCOPED_TRACE(path);
        EXPECT_LT(AL_lcreat(path.c_str()), 0);
    }
    EXPECT_LT(AL_lcreat(nullptr), 0);
}

TEST_F(SndcoreFiles, InvalidHandleOrBufferFailsToWrite) {
    EXPECT_EQ(AL_lwrite(-1, "x", 1), 0);
    const std::string path = PathOf("null.bin");
    int handle = AL_lcreat(path.c_str());
    ASSERT_GE(handle, 0);
    EXPECT_EQ(AL_lwrite(handle, nullptr, 4), 0);
    _lclose(handle);
}

// The hook makes a write fail as a full disk does: the bytes up to the limit land, the rest
// does not, and the next file starts counting afresh.
TEST_F(SndcoreFiles, WriteLimitFailsLikeAFullDisk) {
    AL_TestSetWriteLimit(25);
    const std::string path = PathOf("full.bin");
    int handle = AL_lcreat(path.c_str());
    ASSERT_GE(handle, 0);
    EXPECT_NE(AL_lwrite(handle, "0123456789", 10), 0);
    EXPECT_NE(AL_lwrite(handle, "abcdefghij", 10), 0);
    EXPECT_EQ(AL_lwrite(handle, "ABCDEFGHIJ", 10), 0);
    EXPECT_EQ(AL_lwrite(handle, "z", 1), 0);
    _lclose(handle);
    EXPECT_EQ(Contents(path), "0123456789abcdefghijABCDE");

    const std::string second = PathOf("second.bin");
    handle = AL_lcreat(second.c_str());
    ASSERT_GE(handle, 0);
    EXPECT_NE(AL_lwrite(handle, "0123456789", 10), 0);
    _lclose(handle);

    AL_TestSetWriteLimit(-1);
    handle = AL_lcreat(path.c_str());
    ASSERT_GE(handle, 0);
    std::string big(100, 'b');
    EXPECT_NE(AL_lwrite(handle, big.data(), uint32_t(big.size())), 0);
    _lclose(handle);
}

TEST(SndcoreFreeSpace, RealDriveHasRoomForALittle) {
    const std::string here = fs::current_path().string();
    EXPECT_NE(AL_CheckFreeSpace(1, here[0]), 0) << here;
    EXPECT_NE(AL_CheckFreeSpace(1, '.'), 0) << "a relative path means the current drive";
}

TEST(SndcoreFreeSpace, SimulatedFreeBytesDecide) {
    struct Case {
        int64_t freeBytes;
        uint32_t needed;
        bool enough;
    } const cases[] = {
        {0, 0, true},
        {0, 1, false},
        {1048576, 1048576, true},
        {1048576, 1048577, false},
        {5000000000LL, 0xFFFFFFFFu, true},
    };
    const std::string here = fs::current_path().string();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.freeBytes << " free, " << c.needed << " needed");
        AL_TestSetFreeBytes(c.freeBytes);
        EXPECT_EQ(AL_CheckFreeSpace(c.needed, here[0]) != 0, c.enough);
    }
    AL_TestSetFreeBytes(-1);
}

// The file system of the destination's own folder (or the nearest that exists) is asked, with
// the whole 64-bit size.
TEST_F(SndcoreFiles, FreeSpaceOfAPath) {
    const uint64_t free = fs::space(m_dir).available;
    ASSERT_GT(free, 2u);
    for (const char* name : {"song.mp3", "new/deeper/song.mp3"}) {
        SCOPED_TRACE(name);
        EXPECT_NE(AL_CheckFreeSpaceOfPath(free / 2, PathOf(name).c_str()), 0);
        EXPECT_EQ(AL_CheckFreeSpaceOfPath(free + (uint64_t{1} << 40), PathOf(name).c_str()), 0);
    }
    EXPECT_EQ(AL_CheckFreeSpaceOfPath(1, ""), 0);
    AL_TestSetFreeBytes(int64_t{5} << 30);
    EXPECT_NE(AL_CheckFreeSpaceOfPath(uint64_t{5} << 30, PathOf("a.mp3").c_str()), 0);
    EXPECT_EQ(AL_CheckFreeSpaceOfPath((uint64_t{5} << 30) + 1, PathOf("a.mp3").c_str()), 0);
}

}  // namespace
