// List downloads against the stub server: only a complete 2xx body within the size limit
// replaces a list, atomically, with the certificate checked and no redirect followed.
#include <filesystem>
#include <sys/stat.h>

#include "agent_home.h"
#include "stub_server.h"

namespace {

class ListDownload : public AgentHome {
protected:
    // The earlier list, with an old date, both of which a failed download must keep.
    void WriteEarlierList()
    {
        WriteFileText(fwVerInfoTxtPath, kEarlier);
        SetFileTime(fwVerInfoTxtPath, 1.7e9);
    }
    bool EarlierListKept()
    {
        struct stat info {};
        return ReadFileText(fwVerInfoTxtPath) == kEarlier && stat(fwVerInfoTxtPath.c_str(), &info) == 0 &&
               info.st_mtime == static_cast<time_t>(1.7e9);
    }

    static constexpr const char* kEarlier = "FormatVersion:091\nearlier list\n";
};

TEST_F(ListDownload, OnlyACompleteSmallEnoughBodyFromTheRightPlaceReplacesTheList)
{
    using Tls = StubServer::Tls;
    const std::string kib(1024, 'x');
    const std::string chunks = R"({"/fw": {"chunks": [")" + std::string(100, 'a') + R"(", "b"]}})";
    const struct {
        std::string routes;
        Tls tls;
        bool replaced;
    } cases[] = {
        {chunks, Tls::None, true},
        {R"({"/fw": {"body": "FormatVersion:091\n"}})", Tls::TrustedCa, true},
        {R"({"/fw": {"body": "FormatVersion:091\n"}})", Tls::SelfSigned, false},
        {R"({"/fw": {"status": 404, "body": "<html>not here</html>"}})", Tls::None, false},
        {R"({"/fw": {"status": 200, "body": ""}})", Tls::None, false},
        {R"({"/fw": {"body": "FormatVersion:091\nnew list cut off here", "close_after": 20}})", Tls::None, false},
        {R"({"/fw": {"status": 301, "body": "moved", "headers": {"Location": "/pl"}},
             "/pl": {"body": "FormatVersion:091\nredirected\n"}})", Tls::None, false},
        // Past 4 MiB, with a length and without one.
        {R"({"/fw": {"body": ")" + kib + R"(", "repeat": 4097}})", Tls::None, false},
        {R"({"/fw": {"chunks": [")" + kib + R"("], "repeat": 4097, "chunk_delay": 0}})", Tls::None, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.routes.substr(0, 60));
        StubServer server(c.routes, c.tls);
        ScopedEnv ca("CURL_CA_BUNDLE", server.caFile());
        PointListsAt(server.base());
        WriteEarlierList();
        EXPECT_EQ(c.replaced ? 0u : 1u, commXdata().getFirmVersionList(fwVerInfoTxtPath.c_str()));
        EXPECT_EQ(!c.replaced, EarlierListKept());
        auto entries = std::filesystem::directory_iterator(ListFolder());
        EXPECT_EQ(1, std::distance(begin(entries), end(entries))) << "a temporary file was left behind";
        EXPECT_EQ(c.tls == Tls::SelfSigned ? 0u : 1u, server.requests().size());
    }
    StubServer server(chunks);
    PointListsAt(server.base());
    EXPECT_EQ(0u, commXdata().getFirmVersionList(fwVerInfoTxtPath.c_str()));
    EXPECT_EQ(std::string(100, 'a') + "b", ReadFileText(fwVerInfoTxtPath));
    // Nothing but the library's plain GET: no user agent.
    EXPECT_EQ("<absent>", Header(server.requests().at(0), "User-Agent"));
}

TEST_F(ListDownload, BothListsAreTriedAndTheResultCarriesEachFailure)
{
    PointListsAt("http://127.0.0.1:" + std::to_string(UnusedLocalPort()));
    WriteEarlierList();
    EXPECT_EQ(3, CollectVariousList(fwVerInfoTxtPath.c_str(), tarProductIdPath.c_str()));
    EXPECT_TRUE(EarlierListKept());
    EXPECT_NE(std::string::npos, home_.Log().find("[INF] CollectVariousList Result fw=1 pl=1\n"));

    StubServer server(R"({"/pl": {"body": "FormatVersion:091\n"}})");
    std::snprintf(tarProductURL, sizeof tarProductURL, "%s/pl", server.base().c_str());
    EXPECT_EQ(1, CollectVariousList(fwVerInfoTxtPath.c_str(), tarProductIdPath.c_str()));
    EXPECT_EQ("FormatVersion:091\n", ReadFileText(tarProductIdPath));
}

// The first line of an override file replaces the built-in URL; a blank one does not.
TEST_F(ListDownload, OverrideFiles)
{
    const std::string defaultFw = fwUpdateURL;
    const std::string longLine(2000, 'a');
    const struct {
        std::string contents;
        std::string url;  // empty: the default stays
    } cases[] = {
        {"http://127.0.0.1:1/fw.txt\r\nsecond line\n", "http://127.0.0.1:1/fw.txt"},
        {"http://a/b", "http://a/b"},
        {longLine + "\n", longLine.substr(0, 1023)},
        {"\r\nhttp://a/b\n", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        std::snprintf(fwUpdateURL, sizeof fwUpdateURL, "%s", defaultFw.c_str());
        WriteFileText(ListFolder() + "FwUpInfoURL.txt", c.contents);
        SetTemporaryURL();
        EXPECT_EQ(c.url.empty() ? defaultFw : c.url, fwUpdateURL) << c.contents.substr(0, 40);
    }
    WriteFileText(ListFolder() + "TarProductURL.txt", "http://t/pl.txt\n");
    SetTemporaryURL();
    EXPECT_EQ("http://t/pl.txt", std::string(tarProductURL));
    EXPECT_NE(std::string::npos, home_.Log().find("[INF] Download tarProductURL change!: http://t/pl.txt\n"));
}

} // namespace
