// OpenURL on the schemes beyond http: file URLs on real files, ftp against an FTP server and
// https against nginx over TLS, both on loopback (started by tests/inet/url-servers). Natively
// on libcurl, and as a Windows program under Wine on WinINet.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "afx/inet/internet_session.h"
#include "tests/inet/internet_error_of.h"
#include "tests/inet/trusted_certificate.h"

namespace quor::test {
namespace {

std::string ReadBytes(CFile& file, unsigned count) {
    std::string out;
    std::string buffer(count, '\0');
    // Bounded: each turn reads at least one byte or ends.
    for (unsigned turn = 0; out.size() < count && turn < count; ++turn) {
        unsigned n = file.Read(buffer.data(), static_cast<unsigned>(count - out.size()));
        if (n == 0) {
            break;
        }
        out.append(buffer, 0, n);
    }
    return out;
}

// What the tag reader does: the size from the end, back to the start, the tag header and body,
// then the window where the audio starts, 10 bytes back.
void ExpectTagReaderPattern(CFile& file, const std::string& content) {
    EXPECT_EQ(file.Seek(0, CFile::end), static_cast<int64_t>(content.size()));
    EXPECT_EQ(file.Seek(0, CFile::begin), 0);
    EXPECT_EQ(ReadBytes(file, 10), content.substr(0, 10));
    EXPECT_EQ(ReadBytes(file, 4000), content.substr(10, 4000));
    EXPECT_EQ(file.Seek(4000, CFile::begin), 4000);
    EXPECT_EQ(ReadBytes(file, 250), content.substr(4000, 250));
}

class InetUrl : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* dir = std::getenv("QUOR_URL_SERVERS_DIR");
        ASSERT_NE(dir, nullptr) << "run through CTest, whose url-servers fixture names the folder";
        dir_ = dir;
        tag_ = std::to_string(std::random_device{}());
        session_ = NewSession();
    }

    static std::unique_ptr<CInternetSession> NewSession() {
        auto session = std::make_unique<CInternetSession>();
        session->SetOption(INTERNET_OPTION_RECEIVE_TIMEOUT, 20000);
        return session;
    }

    std::string Setting(const char* name) const {
        std::ifstream in(dir_ + "/" + name);
        std::string value;
        std::getline(in, value);
        return value;
    }

    // A file of size random bytes in the served folder, under a name of this test's own.
    std::string Serve(const std::string& name, size_t size) {
        std::mt19937 random(static_cast<unsigned>(size));
        std::string content(size, '\0');
        for (char& c : content) {
            c = static_cast<char>(random());
        }
        std::ofstream(ServedPath(name), std::ios::binary) << content;
        return content;
    }
    std::string ServedName(const std::string& name) const { return tag_ + "-" + name; }
    std::string ServedPath(const std::string& name) const {
        return dir_ + "/www/" + ServedName(name);
    }

    std::unique_ptr<CStdioFile> Open(CInternetSession& session, const std::string& url) {
        std::unique_ptr<CStdioFile> file;
        EXPECT_EQ(InternetErrorOf([&] { file.reset(session.OpenURL(url.c_str())); }), 0u) << url;
        EXPECT_NE(file, nullptr) << url;
        return file;
    }

    std::string dir_;  // "/..." natively, "Z:/..." under Wine
    std::string tag_;
    std::unique_ptr<CInternetSession> session_;
};

TEST_F(InetUrl, FileUrlsOpenTheLocalFile) {
    const std::string content = Serve("local file.mp3", 70000);
    std::string escaped = ServedPath("local%20file.mp3");
    const bool drive = escaped.front() != '/';
    std::vector<std::string> urls = {"file://" + std::string(drive ? "/" : "") + escaped,
                                     "file://localhost" + std::string(drive ? "/" : "") + escaped};
    if (drive) {
        urls.push_back("file://" + escaped);
    }
    for (const std::string& url : urls) {
        SCOPED_TRACE(url);
        std::unique_ptr<CStdioFile> file = Open(*session_, url);
        ASSERT_TRUE(file);
        ExpectTagReaderPattern(*file, content);
        EXPECT_EQ(file->GetLength(), 70000u);
        EXPECT_EQ(file->Seek(-100, CFile::end), 69900);
        EXPECT_EQ(ReadBytes(*file, 200), content.substr(69900));
        EXPECT_EQ(file->Seek(50, CFile::end), 70050);
        EXPECT_EQ(ReadBytes(*file, 10), "");
        EXPECT_EQ(InternetErrorOf([&] { file->Seek(-1, CFile::begin); }),
                  ERROR_INTERNET_INVALID_OPERATION);
        file->Close();
        EXPECT_EQ(InternetErrorOf([&] { ReadBytes(*file, 10); }),
                  ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    }
    const std::string folder = "file://" + std::string(drive ? "/" : "") + dir_ + "/www";
    for (const std::string& url : {urls[0] + ".missing", folder}) {
        SCOPED_TRACE(url);
        EXPECT_EQ(InternetErrorOf([&] { delete session_->OpenURL(url.c_str()); }),
                  ERROR_INTERNET_ITEM_NOT_FOUND);
    }
}

TEST_F(InetUrl, FtpFileIsStreamedOnceWithTheServersSize) {
    const std::string content = Serve("song.mp3", 200000);
    const std::string url = "ftp://127.0.0.1:" + Setting("ftp-port") + "/" + ServedName("song.mp3");
    const InternetCounters before = AfxGetInternetCounters();
    std::unique_ptr<CStdioFile> file = Open(*session_, url);
    ASSERT_NE(dynamic_cast<CInternetFile*>(file.get()), nullptr);
    EXPECT_EQ(file->Seek(0, CFile::end), 200000);
    EXPECT_EQ(AfxGetInternetCounters().bodyBytesRead, before.bodyBytesRead);
    ExpectTagReaderPattern(*file, content);
    // Forward: read and dropped. Back past what is kept: refused.
    EXPECT_EQ(file->Seek(150000, CFile::begin), 150000);
    EXPECT_EQ(ReadBytes(*file, 100), content.substr(150000, 100));
    EXPECT_EQ(InternetErrorOf([&] { file->Seek(0, CFile::begin); }),
              ERROR_INTERNET_INVALID_OPERATION);
    EXPECT_EQ(ReadBytes(*file, 60000), content.substr(150100));
    file->Close();
    const InternetCounters after = AfxGetInternetCounters();
    EXPECT_EQ(after.requestsSent - before.requestsSent, 1u);
    EXPECT_EQ(after.bodyBytesRead - before.bodyBytesRead, 200000u);
}

TEST_F(InetUrl, FtpLoginsAndRefusals) {
    Serve("empty.mp3", 0);
    const std::string host = "127.0.0.1:" + Setting("ftp-port") + "/";
    const std::string user = Setting("ftp-user");  // "name:password"
    const struct {
        const char* name;
        std::string url;
        uint32_t error;
    } kCases[] = {
        {"named user", "ftp://" + user + "@" + host + ServedName("empty.mp3"), 0},
        {"wrong password", "ftp://" + user + "x@" + host + ServedName("empty.mp3"),
         ERROR_INTERNET_LOGIN_FAILURE},
        {"missing file", "ftp://" + host + ServedName("missing.mp3"),
         ERROR_INTERNET_EXTENDED_ERROR},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<CStdioFile> file;
        EXPECT_EQ(InternetErrorOf([&] { file.reset(session_->OpenURL(c.url.c_str())); }), c.error);
        if (c.error == 0 && file) {
            EXPECT_EQ(file->Seek(0, CFile::end), 0);
            EXPECT_EQ(ReadBytes(*file, 10), "");
        }
    }
}

// localhost: the certificate names it, and Wine matches names only, not addresses.
TEST_F(InetUrl, HttpsIsReadInBlocksOverTls) {
    const std::string content = Serve("secure.mp3", 100000);
    const std::string url =
        "https://localhost:" + Setting("https-port") + "/" + ServedName("secure.mp3");
#ifndef _WIN32
    EXPECT_EQ(InternetErrorOf([&] { delete session_->OpenURL(url.c_str()); }),
              ERROR_INTERNET_INVALID_CA);
#endif
    TrustedCertificate trusted(dir_ + "/tls/cert.pem");
    ASSERT_TRUE(trusted.ok());
    std::unique_ptr<CInternetSession> session = NewSession();
    std::unique_ptr<CStdioFile> file = Open(*session, url);
    auto* http = dynamic_cast<CHttpFile*>(file.get());
    ASSERT_NE(http, nullptr);
    uint32_t status = 0;
    EXPECT_TRUE(http->QueryInfoStatusCode(status));
    EXPECT_EQ(status, 200u);
    ExpectTagReaderPattern(*file, content);
    EXPECT_EQ(file->Seek(90000, CFile::begin), 90000);
    EXPECT_EQ(ReadBytes(*file, 20000), content.substr(90000));
}

}  // namespace
}  // namespace quor::test
