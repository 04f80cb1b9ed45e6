#include "stub_server.h"

#include <chrono>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

StubServer::StubServer(const std::string& routesJson, Tls tls) : tls_(tls)
{
    setRoutes(routesJson);
    const std::string dir = dir_.path();
    std::vector<std::string> args = {TIDEWELL_PYTHON, std::string(TIDEWELL_DEMO_DIR) + "/stub_server.py", "--routes",
                                     dir + "/routes.json", "--log", dir + "/requests.log", "--port-file", dir + "/port"};
    if (tls != Tls::None) {
        EXPECT_EQ(0, std::system(("/bin/sh " TIDEWELL_DEMO_DIR "/make_certs.sh " + dir).c_str()));
        std::string name = dir + (tls == Tls::TrustedCa ? "/server" : "/self");
        args.insert(args.end(), {"--cert", name + ".pem", "--key", name + ".key"});
    }
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    // The test may have blocked signals; the server must still stop at SIGTERM.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t empty;
    sigemptyset(&empty);
    posix_spawnattr_setsigmask(&attr, &empty);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
    if (posix_spawn(&pid_, argv[0], nullptr, &attr, argv.data(), environ) != 0) {
        pid_ = -1;
    }
    posix_spawnattr_destroy(&attr);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (pid_ > 0 && !(std::ifstream(dir + "/port") >> port_) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    EXPECT_NE(0, port_) << "the stub server did not start";
}

StubServer::~StubServer()
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

std::string StubServer::base() const
{
    return std::string(tls_ == Tls::None ? "http" : "https") + "://127.0.0.1:" + std::to_string(port_);
}

void StubServer::setRoutes(const std::string& routesJson)
{
    std::string temp = dir_.path() + "/routes.json.tmp";
    WriteFileText(temp, routesJson);
    std::rename(temp.c_str(), (dir_.path() + "/routes.json").c_str());
}

std::vector<picojson::object> StubServer::requests(const std::string& path) const
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

std::string QueryParam(const picojson::object& request, const std::string& name)
{
    std::string query = "&" + request.at("query").get<std::string>();
    size_t at = query.find("&" + name + "=");
    if (at == std::string::npos) {
        return "<absent>";
    }
    size_t start = at + name.size() + 2;
    return query.substr(start, query.find('&', start) - start);
}

std::string Header(const picojson::object& request, const std::string& name)
{
    const picojson::object& headers = request.at("headers").get<picojson::object>();
    auto found = headers.find(name);
    return found == headers.end() ? "<absent>" : found->second.get<std::string>();
}

int UnusedLocalPort()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

namespace {

std::string AnalyticsRoutes(const std::string& gateBody, int beaconStatus)
{
    picojson::object beacon{{"status", picojson::value(beaconStatus == kCutConnection ? 200.0 : beaconStatus)},
                            {"body", picojson::value("ok")}};
    if (beaconStatus == kCutConnection) {
        beacon["close_after"] = picojson::value(0.0);
    }
    picojson::object routes{{"/appchk.php", picojson::value(picojson::object{{"body", picojson::value(gateBody)}})},
                            {"/dot.php", picojson::value(beacon)}};
    return picojson::value(routes).serialize();
}

} // namespace

AnalyticsStub::AnalyticsStub(const std::string& gateBody, int beaconStatus)
    : StubServer(AnalyticsRoutes(gateBody, beaconStatus), Tls::TrustedCa),
      host_("TIDEWELL_ANALYTICS_HOST", "127.0.0.1:" + std::to_string(port()))
{
}

void AnalyticsStub::Answer(const std::string& gateBody, int beaconStatus)
{
    setRoutes(AnalyticsRoutes(gateBody, beaconStatus));
}
