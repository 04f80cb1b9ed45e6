// The one client of the demo's stub server (stub_server.py): started on 127.0.0.1 for the
// length of a test, with the routes described in the script.
#pragma once

#include <picojson.h>
#include <string>
#include <sys/types.h>
#include <vector>

#include "test_home.h"

class StubServer {
public:
    enum class Tls { None, TrustedCa, SelfSigned };

    explicit StubServer(const std::string& routesJson, Tls tls = Tls::None);
    ~StubServer();
    StubServer(const StubServer&) = delete;
    StubServer& operator=(const StubServer&) = delete;

    int port() const { return port_; }
    // "http(s)://127.0.0.1:<port>"
    std::string base() const;
    // The CA file that signs the server's certificate (TrustedCa only).
    std::string caFile() const { return dir_.path() + "/ca.pem"; }
    void setRoutes(const std::string& routesJson);
    // The requests received so far (for `path` only, unless empty), in order.
    std::vector<picojson::object> requests(const std::string& path = "") const;

private:
    TempDir dir_;
    Tls tls_;
    pid_t pid_ = -1;
    int port_ = 0;
};

// The raw (still escaped) value of one query parameter, and one header, of a request.
std::string QueryParam(const picojson::object& request, const std::string& name);
std::string Header(const picojson::object& request, const std::string& name);

// A port on 127.0.0.1 on which nothing listens.
int UnusedLocalPort();

inline constexpr const char* kTestSite = "246810";
constexpr int kCutConnection = 0;

// The analytics stand-in: the gate answers with `gateBody`, the beacon with
// `beaconStatus` (kCutConnection: a reply cut short). The agent's requests reach it
// through a trusted test CA while it lives.
class AnalyticsStub : public StubServer {
public:
    explicit AnalyticsStub(const std::string& gateBody = R"({"measurement": 1})", int beaconStatus = 200);
    void Answer(const std::string& gateBody, int beaconStatus = 200);
    std::vector<picojson::object> Beacons() const { return requests("/dot.php"); }

private:
    ScopedEnv host_;
    ScopedEnv site_{"TIDEWELL_ANALYTICS_SITE", kTestSite};
    ScopedEnv ca_{"CURL_CA_BUNDLE", caFile()};
};
