// The one client of the demo's stub server (stub_server.py): started on 127.0.0.1 for the
// length of a test, with the routes described in the script.
#pragma once

#include <csignal>
#include <cstdio>
#include <netinet/in.h>
#include <picojson.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "test_home.h"

class StubServer {
public:
    enum class Tls { None, TrustedCa, SelfSigned };

    explicit StubServer(const std::string& routesJson, Tls tls = Tls::None) : tls_(tls)
    {
        setRoutes(routesJson);
        std::string command = "cd '" + dir_.path() + "' && exec " TIDEWELL_PYTHON " '" TIDEWELL_DEMO_DIR
                              "/stub_server.py' --routes routes.json --log requests.log --port-file port";
        if (tls != Tls::None) {
            const std::string name = tls == Tls::TrustedCa ? "server" : "self";
            command = "sh '" TIDEWELL_DEMO_DIR "/make_certs.sh' '" + dir_.path() + "' && " + command + " --cert " +
                      name + ".pem --key " + name + ".key";
        }
        // The test may have blocked signals; the server must still stop at SIGTERM.
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        sigset_t empty;
        sigemptyset(&empty);
        posix_spawnattr_setsigmask(&attr, &empty);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
        const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
        if (posix_spawn(&pid_, argv[0], nullptr, &attr, const_cast<char* const*>(argv), environ) == 0) {
            // The certificates are made first.
            WaitUntil([&] { return static_cast<bool>(std::ifstream(dir_.path() + "/port") >> port_); },
                      std::chrono::seconds(30));
        }
        posix_spawnattr_destroy(&attr);
        EXPECT_NE(0, port_) << "the stub server did not start";
    }
    ~StubServer()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }

    int port() const { return port_; }
    // "http(s)://127.0.0.1:<port>"
    std::string base() const
    {
        return std::string(tls_ == Tls::None ? "http" : "https") + "://127.0.0.1:" + std::to_string(port_);
    }
    // The CA file that signs the server's certificate (TrustedCa only).
    std::string caFile() const { return dir_.path() + "/ca.pem"; }
    void setRoutes(const std::string& routesJson)
    {
        WriteFileText(dir_.path() + "/routes.json.tmp", routesJson);
        std::rename((dir_.path() + "/routes.json.tmp").c_str(), (dir_.path() + "/routes.json").c_str());
    }
    // The requests received so far (for `path` only, unless empty), in order.
    std::vector<picojson::object> requests(const std::string& path = "") const
    {
        std::vector<picojson::object> found;
        std::ifstream in(dir_.path() + "/requests.log");
        for (std::string line; std::getline(in, line);) {
            picojson::value entry;
            picojson::parse(entry, line);
            const picojson::object& request = entry.get<picojson::object>();
            if (path.empty() || request.at("path").get<std::string>() == path) {
                found.push_back(request);
            }
        }
        return found;
    }

private:
    TempDir dir_;
    Tls tls_;
    pid_t pid_ = -1;
    int port_ = 0;
};

// The raw (still escaped) value of one query parameter, and one header, of a request.
inline std::string QueryParam(const picojson::object& request, const std::string& name)
{
    const std::string query = "&" + request.at("query").get<std::string>();
    const size_t at = query.find("&" + name + "=");
    const size_t start = at + name.size() + 2;
    return at == std::string::npos ? "<absent>" : query.substr(start, query.find('&', start) - start);
}
inline std::string Header(const picojson::object& request, const std::string& name)
{
    const picojson::object& headers = request.at("headers").get<picojson::object>();
    auto found = headers.find(name);
    return found == headers.end() ? "<absent>" : found->second.get<std::string>();
}

// A port on 127.0.0.1 on which nothing listens.
inline int UnusedLocalPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

inline constexpr const char* kTestSite = "246810";
constexpr int kCutConnection = 0;

// The analytics stand-in: the gate answers with `gateBody`, the beacon with
// `beaconStatus` (kCutConnection: a reply cut short). The agent's requests reach it
// through a trusted test CA while it lives.
class AnalyticsStub : public StubServer {
public:
    explicit AnalyticsStub(const std::string& gateBody = R"({"measurement": 1})", int beaconStatus = 200)
        : StubServer(Routes(gateBody, beaconStatus), Tls::TrustedCa)
    {
    }
    void Answer(const std::string& gateBody, int beaconStatus = 200) { setRoutes(Routes(gateBody, beaconStatus)); }
    std::vector<picojson::object> Beacons() const { return requests("/dot.php"); }

private:
    static std::string Routes(const std::string& gateBody, int beaconStatus)
    {
        const std::string beacon = beaconStatus == kCutConnection ? R"("status": 200, "close_after": 0)"
                                                                  : R"("status": )" + std::to_string(beaconStatus);
        return R"({"/appchk.php": {"body": )" + picojson::value(gateBody).serialize() + R"(}, "/dot.php": {)" + beacon +
               R"(, "body": "ok"}})";
    }
    ScopedEnv host_{"TIDEWELL_ANALYTICS_HOST", "127.0.0.1:" + std::to_string(port())};
    ScopedEnv site_{"TIDEWELL_ANALYTICS_SITE", kTestSite};
    ScopedEnv ca_{"CURL_CA_BUNDLE", caFile()};
};
