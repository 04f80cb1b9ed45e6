// Only a complete 2xx body within the size limit replaces a list, atomically, over checked TLS alone, unredirected.
#include "agent_home.h"

#include <arpa/inet.h>

#include "commXdata/transfer.h"
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
    // A list that is not replaced comes with the reason, after the server's address.
    const struct { std::string routes; Tls tls; std::string list; std::string failure; bool intoFolder = false; } cases[] = {
        {R"({"/fw": {"chunks": [")" + std::string(100, 'a') + R"(", "b"]}})", Tls::TrustedCa,
         std::string(100, 'a') + "b", ""},
        {fw, Tls::SelfSigned, earlier, "SSL certificate problem"},
        {fw, Tls::None, earlier, "Protocol \"http\" not supported"},  // plain HTTP is never spoken
        {R"({"/fw": {"status": 404, "body": "<html>not here</html>"}})", Tls::TrustedCa, earlier, "HTTP status 404"},
        {R"({"/fw": {"status": 200, "body": ""}})", Tls::TrustedCa, earlier, "the reply holds no list"},
        {R"({"/fw": {"body": "FormatVersion:091\nnew list cut off here", "close_after": 20}})", Tls::TrustedCa, earlier,
         "transfer closed"},
        {R"({"/fw": {"status": 300, "body": "moved", "headers": {"Location": "/pl"}},
             "/pl": {"body": "FormatVersion:091\nredirected\n"}})", Tls::TrustedCa, earlier, "HTTP status 300"},
        {R"({"/fw": {"status": 299, "body": "FormatVersion:091\n"}})", Tls::TrustedCa, "FormatVersion:091\n", ""},
        // 4 MiB is taken, with a length; past it, without one, not.
        {R"({"/fw": {"body": ")" + kib + R"(", "repeat": 4096}})", Tls::TrustedCa,
         std::string(4096 * kib.size(), 'x'), ""},
        {R"({"/fw": {"chunks": [")" + kib + R"("], "repeat": 4097, "chunk_delay": 0}})", Tls::TrustedCa, earlier,
         "the list is larger than 4194304 bytes"},
        {R"({"/fw": {"body": "xxxxx", "repeat": 838861}})", Tls::TrustedCa, earlier, "Maximum file size exceeded"},
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
        MakeFolders(home_.file("taken"));
        const std::string path = c.intoFolder ? home_.file("taken") : fwVerInfoTxtPath;
        commXdata client;
        EXPECT_EQ(c.list == earlier ? 1u : 0u, client.getFirmVersionList(path.c_str()));
        const std::string& failure = client.listFailure();
        const std::string from = "127.0.0.1:" + std::to_string(server.port()) + ": ";
        EXPECT_TRUE(c.failure.empty() ? failure.empty()
                                      : failure.rfind(from, 0) == 0 && failure.find(c.failure) != std::string::npos)
            << failure;
        EXPECT_EQ(c.list, ReadFileText(fwVerInfoTxtPath));
        EXPECT_EQ(!c.failure.empty(), Count(home_.Log(), "[WRN] List download from " + from.substr(0, from.size() - 2) +
                                                             " failed: " + c.failure));
        struct stat info {};
        EXPECT_EQ(c.list == earlier, stat(fwVerInfoTxtPath.c_str(), &info) == 0 && info.st_mtime == 1700000000);
        auto entries = std::filesystem::directory_iterator(oslib::ListFolder());
        EXPECT_EQ(1, std::distance(begin(entries), end(entries))) << "a temporary file was left behind";
    }
}

// Each limit ends a transfer by itself, in its own time: a handshake that never comes by the connect limit, a
// stalled body by the stall limit (not the whole transfer's), a body that never ends by the whole limit; a pending
// SIGTERM ends it before any.
TEST_F(ListDownload, EachLimitEndsATransferInItsOwnTime)
{
    StubServer server(R"({"/stall": {"body": ")" + std::string(4096, 'x') + R"(", "stall_after": 1024}})",
                      StubServer::Tls::TrustedCa);
    ScopedConfiguration ca([&server](oslib::Configuration& c) { c.caBundle = server.caFile(); });
    // Taken by the kernel's backlog, never answered.
    int silent = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(0, bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address));
    ASSERT_EQ(0, listen(silent, 4));
    getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string silentUrl = "https://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/fw";
    const struct { std::string url; oslib::TransferLimits limits; const char* failure; CURLcode result; } cases[] = {
        {silentUrl, {1, 0, 0, 1 << 20}, "SSL connection timeout", CURLE_OPERATION_TIMEDOUT},
        {server.base() + "/stall", {30, 1, 30, 1 << 20}, "Operation too slow. Less than 1 bytes/sec transferred the last 1 ",
         CURLE_OPERATION_TIMEDOUT},
        {server.base() + "/stall", {30, 0, 1, 1 << 20}, "Operation timed out after ", CURLE_OPERATION_TIMEDOUT},
        {server.base() + "/stall", {30, 30, 30, 1 << 20}, "Callback aborted", CURLE_ABORTED_BY_CALLBACK},
    };
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &term, nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failure);
        if (c.result == CURLE_ABORTED_BY_CALLBACK) {
            raise(SIGTERM);
        }
        oslib::CurlEasy handle(curl_easy_init());
        std::string reply;
        char error[CURL_ERROR_SIZE] = {};
        curl_easy_setopt(handle.get(), CURLOPT_URL, c.url.c_str());
        curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, commXdata::onReceive);
        curl_easy_setopt(handle.get(), CURLOPT_WRITEDATA, &reply);
        curl_easy_setopt(handle.get(), CURLOPT_ERRORBUFFER, error);
        ASSERT_EQ(CURLE_OK, ApplyTransportOptions(handle.get(), c.limits));
        EXPECT_EQ(c.result, curl_easy_perform(handle.get()));
        EXPECT_EQ(0u, std::string(error).find(c.failure)) << error;
    }
    const timespec now{};
    sigtimedwait(&term, nullptr, &now);
    pthread_sigmask(SIG_UNBLOCK, &term, nullptr);
    close(silent);
}

// The first line of an override file (at most 1023 bytes of it) replaces the built-in URL when it
// is an https one; a blank one, one of another scheme, a file past 4 KiB (one of 4 KiB is read) or
// a FIFO (that nobody writes: it must not hold up the start) leaves the default.
TEST_F(ListDownload, OverrideFiles)
{
    const std::string defaultFw = fwUpdateURL, path = oslib::ListFolder() + "FwUpInfoURL.txt";
    const std::pair<std::string, std::string> cases[] = {
        {"\r\nhttps://a/b\n", defaultFw}, {"http://127.0.0.1:1/fw.txt\n", defaultFw}, {"ftp://127.0.0.1/fw\n", defaultFw},
        {"https://\n", defaultFw}, {"HTTPS://127.0.0.1:1/fw.txt\r\nsecond line\n", "HTTPS://127.0.0.1:1/fw.txt"},
        {"https://" + std::string(2000, 'a') + "\n", "https://" + std::string(1015, 'a')},
        {"https://a/" + std::string(4086, 'b'), "https://a/" + std::string(1013, 'b')},
        {"https://a/" + std::string(4087, 'b'), defaultFw}, {"", defaultFw}};
    for (const auto& [file, url] : cases) {
        SCOPED_TRACE(file.substr(0, 60));
        std::snprintf(fwUpdateURL, sizeof fwUpdateURL, "%s", defaultFw.c_str());
        WriteFileText(path, file);
        if (file.empty()) {
            unlink(path.c_str());
            mkfifo(path.c_str(), 0600);
        }
        alarm(5);
        SetTemporaryURL();
        alarm(0);
        EXPECT_EQ(url, fwUpdateURL);
    }
    EXPECT_EQ(3u, Count(home_.Log(), "[WRN] Download FwUpdateURL not changed, FwUpInfoURL.txt holds no https:// URL"));
}

} // namespace
