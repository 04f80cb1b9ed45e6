// Only a complete 2xx body within the size limit replaces a list, atomically, over checked TLS, unredirected.
#include <filesystem>
#include <sys/stat.h>

#include "agent_home.h"
#include "stub_server.h"

namespace {

using ListDownload = AgentHome;

TEST_F(ListDownload, OnlyACompleteSmallEnoughBodyFromTheRightPlaceReplacesTheList)
{
    using Tls = StubServer::Tls;
    const std::string kib(1024, 'x');
    const std::string earlier = "FormatVersion:091\nearlier list\n";
    const std::string fw = R"({"/fw": {"body": "FormatVersion:091\n"}})";
    const struct { std::string routes; Tls tls; std::string list; } cases[] = {
        {R"({"/fw": {"chunks": [")" + std::string(100, 'a') + R"(", "b"]}})", Tls::None, std::string(100, 'a') + "b"},
        {fw, Tls::TrustedCa, "FormatVersion:091\n"},
        {fw, Tls::SelfSigned, earlier},
        {R"({"/fw": {"status": 404, "body": "<html>not here</html>"}})", Tls::None, earlier},
        {R"({"/fw": {"status": 200, "body": ""}})", Tls::None, earlier},
        {R"({"/fw": {"body": "FormatVersion:091\nnew list cut off here", "close_after": 20}})", Tls::None, earlier},
        {R"({"/fw": {"status": 301, "body": "moved", "headers": {"Location": "/pl"}},
             "/pl": {"body": "FormatVersion:091\nredirected\n"}})", Tls::None, earlier},
        // Past 4 MiB, with a length and without one.
        {R"({"/fw": {"body": ")" + kib + R"(", "repeat": 4097}})", Tls::None, earlier},
        {R"({"/fw": {"chunks": [")" + kib + R"("], "repeat": 4097, "chunk_delay": 0}})", Tls::None, earlier},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.routes.substr(0, 60));
        StubServer server(c.routes, c.tls);
        ScopedEnv ca("CURL_CA_BUNDLE", server.caFile());
        PointListsAt(server.base());
        WriteFileText(fwVerInfoTxtPath, earlier);
        SetFileTime(fwVerInfoTxtPath, 1.7e9);
        EXPECT_EQ(c.list == earlier ? 1u : 0u, commXdata().getFirmVersionList(fwVerInfoTxtPath.c_str()));
        EXPECT_EQ(c.list, ReadFileText(fwVerInfoTxtPath));
        struct stat info {};
        EXPECT_EQ(c.list == earlier, stat(fwVerInfoTxtPath.c_str(), &info) == 0 && info.st_mtime == 1700000000);
        auto entries = std::filesystem::directory_iterator(ListFolder());
        EXPECT_EQ(1, std::distance(begin(entries), end(entries))) << "a temporary file was left behind";
    }
}

// The first line of an override file replaces the built-in URL; a blank one does not.
TEST_F(ListDownload, OverrideFiles)
{
    const std::string defaultFw = fwUpdateURL;
    WriteFileText(ListFolder() + "FwUpInfoURL.txt", "\r\nhttp://a/b\n");
    SetTemporaryURL();
    EXPECT_EQ(defaultFw, fwUpdateURL);
    WriteFileText(ListFolder() + "FwUpInfoURL.txt", "http://127.0.0.1:1/fw.txt\r\nsecond line\n");
    SetTemporaryURL();
    EXPECT_EQ(std::string("http://127.0.0.1:1/fw.txt"), fwUpdateURL);
}

} // namespace
