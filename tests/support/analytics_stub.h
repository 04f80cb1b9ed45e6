// An HTTPS analytics stand-in on 127.0.0.1, trusted through a test CA, that the agent's
// gate and beacon requests reach for the lifetime of the object.
#pragma once

#include <picojson.h>
#include <string>
#include <vector>

#include "stub_server.h"
#include "test_home.h"

inline constexpr const char* kTestSite = "246810";

// The gate answers with the given body; the beacon with the given status, or with a
// connection cut before the reply ends when the status is kCutConnection.
class AnalyticsStub {
public:
    static constexpr int kCutConnection = 0;

    explicit AnalyticsStub(const std::string& gateBody = R"({"measurement": 1})", int beaconStatus = 200)
        : server_(Routes(gateBody, beaconStatus), StubServer::Tls::TrustedCa),
          host_("TIDEWELL_ANALYTICS_HOST", "127.0.0.1:" + std::to_string(server_.port())),
          site_("TIDEWELL_ANALYTICS_SITE", kTestSite), ca_("CURL_CA_BUNDLE", server_.caFile())
    {
    }

    void Answer(const std::string& gateBody, int beaconStatus = 200)
    {
        server_.setRoutes(Routes(gateBody, beaconStatus));
    }

    // The requests received so far for `path` ("/appchk.php" or "/dot.php"), in order.
    std::vector<picojson::object> Requests(const std::string& path) const
    {
        std::vector<picojson::object> found;
        for (const std::string& line : server_.requests()) {
            picojson::value entry;
            picojson::parse(entry, line);
            const picojson::object& request = entry.get<picojson::object>();
            if (request.at("path").get<std::string>() == path) {
                found.push_back(request);
            }
        }
        return found;
    }
    std::vector<picojson::object> Beacons() const { return Requests("/dot.php"); }

    // The raw (still escaped) value of one query parameter.
    static std::string Param(const picojson::object& request, const std::string& name)
    {
        std::string query = "&" + request.at("query").get<std::string>();
        size_t at = query.find("&" + name + "=");
        if (at == std::string::npos) {
            return "<absent>";
        }
        size_t start = at + name.size() + 2;
        return query.substr(start, query.find('&', start) - start);
    }

    static std::string Header(const picojson::object& request, const std::string& name)
    {
        const picojson::object& headers = request.at("headers").get<picojson::object>();
        auto found = headers.find(name);
        return found == headers.end() ? "<absent>" : found->second.get<std::string>();
    }

private:
    static std::string Routes(const std::string& gateBody, int beaconStatus)
    {
        picojson::object gate{{"body", picojson::value(gateBody)}};
        picojson::object beacon{{"status", picojson::value(beaconStatus == kCutConnection ? 200.0 : beaconStatus)},
                                {"body", picojson::value("ok")}};
        if (beaconStatus == kCutConnection) {
            beacon["close_after"] = picojson::value(0.0);
        }
        picojson::object routes{{"/appchk.php", picojson::value(gate)}, {"/dot.php", picojson::value(beacon)}};
        return picojson::value(routes).serialize();
    }

    StubServer server_;
    ScopedEnv host_;
    ScopedEnv site_;
    ScopedEnv ca_;
};
