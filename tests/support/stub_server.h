// The demo's stub server (stub_server.py) on 127.0.0.1 for the length of a test.
#pragma once

#include <csignal>
#include <memory>
#include <picojson.h>
#include <vector>

#include "oslib/spawn.h"
#include "test_home.h"

class StubServer {
public:
    enum class Tls { None, TrustedCa, SelfSigned };

    explicit StubServer(const std::string& routesJson, Tls tls = Tls::None)
        : scheme_(tls == Tls::None ? "http" : "https")
    {
        setRoutes(routesJson);
        const std::string name = std::string(TIDEWELL_TEST_CERTS "/") + (tls == Tls::TrustedCa ? "server" : "self");
        std::vector<std::string> command = {TIDEWELL_PYTHON, TIDEWELL_DEMO_DIR "/stub_server.py", "--routes",
                                            dir_.path() + "/routes.json", "--log", dir_.path() + "/requests.log",
                                            "--port-file", dir_.path() + "/port"};
        if (tls != Tls::None) {
            command.insert(command.end(), {"--cert", name + ".pem", "--key", name + ".key"});
        }
        // A clean signal mask lets SIGTERM stop it.
        oslib::Child server;
        oslib::Spawn(command, oslib::ChildStream::kDiscarded, oslib::ChildStream::kInherited, server);
        pid_ = server.pid;
        WaitUntil([&] { return static_cast<bool>(std::ifstream(dir_.path() + "/port") >> port_); }, std::chrono::seconds(30));
        EXPECT_NE(0, port_) << "the stub server did not start";
    }
    ~StubServer()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            (void)oslib::WaitForChild(pid_, status);
        }
    }

    int port() const { return port_; }
    std::string base() const { return scheme_ + "://127.0.0.1:" + std::to_string(port_); }
    static std::string caFile() { return TIDEWELL_TEST_CERTS "/ca.pem"; }
    void setRoutes(const std::string& routesJson)
    {
        WriteFileText(dir_.path() + "/routes.json.tmp", routesJson);
        std::filesystem::rename(dir_.path() + "/routes.json.tmp", dir_.path() + "/routes.json");
    }
    std::vector<picojson::object> requests(const std::string& path = "") const
    {
        std::vector<picojson::object> found;
        std::ifstream in(dir_.path() + "/requests.log");
        for (std::string line; std::getline(in, line);) {
            picojson::value entry;
            picojson::parse(entry, line);
            if (path.empty() || entry.get("path").get<std::string>() == path) {
                found.push_back(entry.get<picojson::object>());
            }
        }
        return found;
    }

private:
    TempDir dir_;
    std::string scheme_;
    int pid_ = -1, port_ = 0;
};

inline std::string QueryParam(const picojson::object& request, const std::string& name)
{
    const std::string query = "&" + request.at("query").get<std::string>();
    const size_t at = query.find("&" + name + "="), start = at + name.size() + 2;
    return at == std::string::npos ? "<absent>" : query.substr(start, query.find('&', start) - start);
}
inline std::string Header(const picojson::object& request, const std::string& name)
{
    const picojson::value& headers = request.at("headers");
    return headers.contains(name) ? headers.get(name).get<std::string>() : "<absent>";
}

inline constexpr const char* kTestSite = "246810";
constexpr int kCutConnection = 0;

// The analytics host: the gate answers `gateBody`, the beacon `beaconStatus` (kCutConnection: cut short).
class AnalyticsStub : public StubServer {
public:
    AnalyticsStub() : StubServer(Routes(R"({"measurement": 1})", 200), Tls::TrustedCa) {}
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
    ScopedConfiguration configured_{[this](oslib::Configuration& c) {
        c.analyticsHost = "127.0.0.1:" + std::to_string(port());
        c.analyticsSite = kTestSite;
        c.caBundle = caFile();
    }};
};
