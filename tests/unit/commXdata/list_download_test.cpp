#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

#include "commXdata/commXdata.h"
#include "list_urls.h"
#include "main/main.h"
#include "stub_server.h"
#include "test_home.h"

namespace {

class ListDownload : public ::testing::Test {
protected:
    void SetUp() override
    {
        MakeFolders(listFolder_);
        MakeFolders(home_.file("Library/Application Support/Quenlar"));
    }

    void PointAt(const StubServer& server) { urls_.PointAt(server.base()); }
    unsigned DownloadFirmwareList()
    {
        commXdata client;
        return client.getFirmVersionList(firmPath_.c_str());
    }
    // An earlier list with an old date, both of which a failed download must keep.
    void WriteEarlierList()
    {
        WriteFileText(firmPath_, "FormatVersion:091\nearlier list\n");
        SetFileTime(firmPath_, 1.7e9);
    }
    void ExpectEarlierListKept()
    {
        EXPECT_EQ("FormatVersion:091\nearlier list\n", ReadFileText(firmPath_));
        struct stat info {};
        ASSERT_EQ(0, stat(firmPath_.c_str(), &info));
        EXPECT_EQ(static_cast<time_t>(1.7e9), info.st_mtime);
        EXPECT_EQ(1u, FolderEntries()) << "a temporary file was left behind";
    }
    size_t FolderEntries() const
    {
        auto entries = std::filesystem::directory_iterator(listFolder_);
        return static_cast<size_t>(std::distance(begin(entries), end(entries)));
    }

    TempHome home_;
    std::string listFolder_ = home_.file("Library/Quenlar");
    std::string firmPath_ = listFolder_ + "/firm_version_info.txt";
    std::string targetPath_ = listFolder_ + "/tar_product_info.txt";
    ScopedListUrls urls_;
};

TEST_F(ListDownload, OverrideFiles)
{
    const std::string defaultFw = fwUpdateURL;
    const std::string defaultPl = tarProductURL;
    SetTemporaryURL();
    EXPECT_EQ(defaultFw, fwUpdateURL);
    EXPECT_EQ(defaultPl, tarProductURL);

    struct Case {
        std::string contents;
        std::string url;  // empty: the default stays
    };
    const std::string longLine(2000, 'a');
    const Case cases[] = {
        {"http://127.0.0.1:1/fw.txt\r\nsecond line\n", "http://127.0.0.1:1/fw.txt"},
        {"http://a/b\n", "http://a/b"},
        {"http://a/b", "http://a/b"},
        {longLine + "\n", longLine.substr(0, 1023)},
        {"\r\nhttp://a/b\n", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.contents.substr(0, 40));
        snprintf(fwUpdateURL, sizeof fwUpdateURL, "%s", defaultFw.c_str());
        WriteFileText(listFolder_ + "/FwUpInfoURL.txt", c.contents);
        SetFwUpdateInfoURL();
        EXPECT_EQ(c.url.empty() ? defaultFw : c.url, fwUpdateURL);
    }
    WriteFileText(listFolder_ + "/TarProductURL.txt", "http://t/pl.txt\r\n");
    SetTemporaryURL();
    EXPECT_EQ("http://t/pl.txt", std::string(tarProductURL));
    EXPECT_NE(std::string::npos, home_.Log().find("[INF] Download tarProductURL change!: http://t/pl.txt\n"));
    EXPECT_NE(std::string::npos, home_.Log().find("[INF] Download FwUpdateURL change!: http://a/b\n"));
}

TEST_F(ListDownload, ChunkedBodyReplacesALongerList)
{
    StubServer server(R"({"/fw": {"chunks": [")" + std::string(100, 'a') + R"(", ")" + std::string(100, 'b') +
                      R"("]}})");
    PointAt(server);
    WriteFileText(firmPath_, std::string(5000, 'x'));
    EXPECT_EQ(0u, DownloadFirmwareList());
    EXPECT_EQ(std::string(100, 'a') + std::string(100, 'b'), ReadFileText(firmPath_));
    EXPECT_EQ(1u, FolderEntries());
    ASSERT_EQ(1u, server.requests().size());
    // Nothing but the library's plain GET: no user agent.
    EXPECT_EQ(std::string::npos, server.requests()[0].find("User-Agent"));
}

TEST_F(ListDownload, FailedTransfersKeepTheEarlierList)
{
    const std::string kib(1024, 'x');
    const std::string routes[] = {
        R"({"/fw": {"status": 404, "body": "<html>not here</html>"}})",
        R"({"/fw": {"status": 200, "body": ""}})",
        R"({"/fw": {"body": "FormatVersion:091\nnew list cut off here", "close_after": 20}})",
        R"({"/fw": {"status": 301, "body": "moved", "headers": {"Location": "/pl"}},
            "/pl": {"body": "FormatVersion:091\nredirected\n"}})",
        // Past 4 MiB, with a length and without one.
        R"({"/fw": {"body": ")" + kib + R"(", "repeat": 4097}})",
        R"({"/fw": {"chunks": [")" + kib + R"("], "repeat": 4097, "chunk_delay": 0}})",
    };
    StubServer server(routes[0]);
    PointAt(server);
    WriteEarlierList();
    for (const std::string& route : routes) {
        SCOPED_TRACE(route.substr(0, 40));
        server.setRoutes(route);
        EXPECT_EQ(1u, DownloadFirmwareList());
        ExpectEarlierListKept();
    }
}

TEST_F(ListDownload, UnreachableServers)
{
    std::string closed = "http://127.0.0.1:" + std::to_string(UnusedLocalPort());
    snprintf(fwUpdateURL, sizeof fwUpdateURL, "%s/fw", closed.c_str());
    snprintf(tarProductURL, sizeof tarProductURL, "%s/pl", closed.c_str());
    WriteEarlierList();
    EXPECT_EQ(3, CollectVariousList(firmPath_.c_str(), targetPath_.c_str()));
    ExpectEarlierListKept();
    EXPECT_NE(std::string::npos, home_.Log().find("[INF] CollectVariousList Result fw=1 pl=1\n"));

    StubServer server(R"({"/pl": {"body": "FormatVersion:091\n"}})");
    snprintf(tarProductURL, sizeof tarProductURL, "%s", server.url("/pl").c_str());
    EXPECT_EQ(1, CollectVariousList(firmPath_.c_str(), targetPath_.c_str()));
    EXPECT_EQ("FormatVersion:091\n", ReadFileText(targetPath_));
}

TEST_F(ListDownload, MissingFolderLogsEveryChunk)
{
    StubServer server(R"({"/fw": {"chunks": ["one", "two", "three"], "chunk_delay": 0.2},
                          "/pl": {"body": "FormatVersion:091\n"}})");
    PointAt(server);
    commXdata client;
    std::string path = home_.file("missing/firm_version_info.txt");
    EXPECT_EQ(0u, client.getFirmVersionList(path.c_str()));
    std::string log = home_.Log();
    EXPECT_NE(std::string::npos, log.find("[ERR] Firmware update list create error\n"));
    size_t first = log.find("[ERR] Firmware update list update error\n");
    ASSERT_NE(std::string::npos, first);
    EXPECT_NE(std::string::npos, log.find("[ERR] Firmware update list update error\n", first + 1));

    EXPECT_EQ(0u, client.getTargetProductIDList(path.c_str()));
    EXPECT_NE(std::string::npos, home_.Log().find("[ERR] Target list create error\n"));
}

} // namespace
