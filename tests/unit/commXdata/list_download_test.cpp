// Only a complete 2xx body within the size limit replaces a list, atomically, over checked TLS alone, unredirected.
#include "agent_home.h"

#include "oslib/user_folders.h"
#include "stub_server.h"

namespace {

using ListDownload = AgentHome;

// A failure is a line that says why: the host and libcurl's text, or what the agent refused. A body that cannot be
// stored (here the rename fails: a folder holds the list's place) is a failed download too.
TEST_F(ListDownload, OnlyACompleteSmallEnoughBodyFromTheRightPlaceReplacesTheList)
{
    using Tls = StubServer::Tls;
    const std::string kib(1024, 'x');
    const std::string earlier = "FormatVersion:091\nearlier list\n";
    const std::string fw = R"({"/fw": {"body": "FormatVersion:091\n"}})";
    const struct { std::string routes; Tls tls; std::string list, failure; bool intoFolder = false; } cases[] = {
        {R"({"/fw": {"chunks": [")" + std::string(100, 'a') + R"(", "b"]}})", Tls::TrustedCa, std::string(100, 'a') + "b", ""},
        {fw, Tls::SelfSigned, earlier, "SSL certificate problem"},
        {fw, Tls::None, earlier, "Protocol \"http\" not supported"},  // plain HTTP is never spoken
        {R"({"/fw": {"status": 404, "body": "<html>not here</html>"}})", Tls::TrustedCa, earlier, "HTTP status 404"},
        {R"({"/fw": {"status": 200, "body": ""}})", Tls::TrustedCa, earlier, "empty body"},
        {R"({"/fw": {"body": "FormatVersion:091\nnew list cut off here", "close_after": 20}})", Tls::TrustedCa, earlier,
         "transfer closed with"},
        {R"({"/fw": {"status": 301, "body": "moved", "headers": {"Location": "/pl"}},
             "/pl": {"body": "FormatVersion:091\nredirected\n"}})", Tls::TrustedCa, earlier, "HTTP status 301"},
        // 4 MiB is taken, with a length; a byte more is not, nor past it without a length.
        {R"({"/fw": {"body": ")" + kib + R"(", "repeat": 4096}})", Tls::TrustedCa, std::string(4096 * kib.size(), 'x'), ""},
        {R"({"/fw": {"body": "xxxxx", "repeat": 838861}})", Tls::TrustedCa, earlier, "Maximum file size exceeded"},
        {R"({"/fw": {"chunks": [")" + kib + R"("], "repeat": 4097, "chunk_delay": 0}})", Tls::TrustedCa, earlier,
         "more than 4 MiB"},
        {R"({"/fw": {"body": ")" + kib + R"("}})", Tls::TrustedCa, earlier, "the list could not be stored", true},
    };
    StubServer servers[] = {StubServer("{}", Tls::None), StubServer("{}", Tls::TrustedCa),
                            StubServer("{}", Tls::SelfSigned)};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.routes.substr(0, 60));
        StubServer& server = servers[static_cast<int>(c.tls)];
        server.setRoutes(c.routes);
        ScopedConfiguration ca([&server](oslib::Configuration& c) { c.caBundle = server.caFile(); });
        PointListsAt(server.base());
        WriteFileText(fwVerInfoTxtPath, earlier);
        SetFileTime(fwVerInfoTxtPath, 1.7e9);
        unlink(home_.LogPath().c_str());
        const std::string path = c.intoFolder ? home_.file("Library") : fwVerInfoTxtPath;
        EXPECT_EQ(c.list == earlier ? 1u : 0u, commXdata().getFirmVersionList(path.c_str()));
        EXPECT_EQ(c.list, ReadFileText(fwVerInfoTxtPath));
        EXPECT_EQ(!c.failure.empty(), Count(home_.Log(), "[WRN] List download from 127.0.0.1 failed: " + c.failure));
        struct stat info {};
        EXPECT_EQ(c.list == earlier, stat(fwVerInfoTxtPath.c_str(), &info) == 0 && info.st_mtime == 1700000000);
        auto entries = std::filesystem::directory_iterator(oslib::ListFolder());
        EXPECT_EQ(1, std::distance(begin(entries), end(entries))) << "a temporary file was left behind";
    }
}

// The first line of an override file replaces the built-in URL when it is an https one; a
// blank one, or one of another scheme, leaves the default.
TEST_F(ListDownload, OverrideFiles)
{
    const std::string defaultFw = fwUpdateURL;
    const std::pair<const char*, std::string> cases[] = {
        {"\r\nhttps://a/b\n", defaultFw}, {"http://127.0.0.1:1/fw.txt\n", defaultFw}, {"ftp://127.0.0.1/fw\n", defaultFw},
        {"https://\n", defaultFw}, {"HTTPS://127.0.0.1:1/fw.txt\r\nsecond line\n", "HTTPS://127.0.0.1:1/fw.txt"}};
    for (const auto& [file, url] : cases) {
        SCOPED_TRACE(file);
        std::snprintf(fwUpdateURL, sizeof fwUpdateURL, "%s", defaultFw.c_str());
        WriteFileText(oslib::ListFolder() + "FwUpInfoURL.txt", file);
        SetTemporaryURL();
        EXPECT_EQ(url, fwUpdateURL);
    }
    EXPECT_EQ(3u, Count(home_.Log(), "[WRN] Download FwUpdateURL not changed, FwUpInfoURL.txt holds no https:// URL"));
}

} // namespace
