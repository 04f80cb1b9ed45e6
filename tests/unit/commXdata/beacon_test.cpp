#include <gtest/gtest.h>

#include <regex>

#include "agent_home.h"
#include "commXdata/gate_reply.h"
#include "stub_server.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;
using Analytics = AgentHome;

_xdate_send_info_t Report()
{
    return _xdate_send_info_t{"5A1B2C3D-0000-4111-8222-0123456789AB", "Deck Unit 2 FirmwareUpdate/Debian 12/AMD EPYC",
                              "291", "Deck Unit 2/1.23/SN-01.a_~", "SDJP", "2024/03/05-14:07:09(+0900)"};
}

TEST(GateReply, MeasurementNumberTruncatedTowardZeroDecides)
{
    struct Case {
        const char* reply;
        bool on;
        const char* error;
    };
    const Case cases[] = {
        {R"({"measurement": 1})", true, ""},
        {R"({"measurement": 0})", false, ""},
        {R"({"measurement": 0.5})", false, ""},
        {R"({"measurement": -0.5})", false, ""},
        {R"({"measurement": -3})", true, ""},
        {R"({"site": 9, "measurement": 2, "x": [1]})", true, ""},
        {R"({"measurement": "1"})", false, ""},
        {R"({"other": 1})", false, ""},
        {"[1]", false, ""},
        {"1", false, ""},
        // Numbers beyond double's range once ended the agent.
        {R"({"measurement": 1e999})", false, "number out of range"},
        {R"({"other": [-1e400], "measurement": 1})", false, "number out of range"},
        {"<html>busy</html>\nmore", false, "syntax error at line 1 near: <html>busy</html>"},
        {"", false, "syntax error at line 1 near: "},
    };
    for (const Case& c : cases) {
        std::string error = "stale";
        EXPECT_EQ(c.on, ReadMeasurementSwitch(c.reply, error)) << c.reply;
        EXPECT_EQ(c.error, error) << c.reply;
    }
}

TEST_F(Analytics, GateAsksWithTheSiteAloneAndSaysWhyAReplyIsNoJson)
{
    AnalyticsStub stub;
    EXPECT_TRUE(commXdata().canSend());
    std::vector<picojson::object> asked = stub.requests("/appchk.php");
    ASSERT_EQ(1u, asked.size());
    EXPECT_EQ(std::string("site_id=") + kTestSite, asked[0].at("query").get<std::string>());
    EXPECT_EQ("<absent>", Header(asked[0], "User-Agent"));

    stub.Answer("<html>busy</html>\nmore");
    CaptureStderr();
    EXPECT_FALSE(commXdata().canSend());
    EXPECT_EQ("syntax error at line 1 near: <html>busy</html>\n", GetCapturedStderr());
}

// A reply past 64 KiB and a server certificate the test CA did not sign are failures.
TEST_F(Analytics, GateFailures)
{
    for (auto tls : {StubServer::Tls::TrustedCa, StubServer::Tls::SelfSigned}) {
        StubServer server(R"({"/appchk.php": {"body": "{\"measurement\": 1, \"pad\": \")" + std::string(64 * 1024, 'x') +
                              R"(\"}"}})", tls);
        ScopedEnv host("TIDEWELL_ANALYTICS_HOST", "127.0.0.1:" + std::to_string(server.port()));
        ScopedEnv ca("CURL_CA_BUNDLE", server.caFile());
        CaptureStderr();
        EXPECT_FALSE(commXdata().canSend());
        EXPECT_NE(std::string::npos, GetCapturedStderr().find("curl_easy_perform() failed: "));
        EXPECT_EQ(tls == StubServer::Tls::TrustedCa ? 1u : 0u, server.requests().size());
    }
}

int failures = 0;
_xdate_send_info_t failedCopy;

void RecordFailure(const _xdate_send_info_t* info)
{
    ++failures;
    failedCopy = *info;
}

// Any completed exchange counts as sent, a 500 too.
TEST_F(Analytics, BeaconQueryInExactOrderWithOnlyTheDeviceTextEscaped)
{
    AnalyticsStub stub(R"({"measurement": 1})", 500);
    commXdata client;
    client.errorCallback(RecordFailure);
    failures = 0;
    EXPECT_EQ(0, client.send(Report()));
    EXPECT_EQ(0, failures);

    std::vector<picojson::object> beacons = stub.Beacons();
    ASSERT_EQ(1u, beacons.size());
    std::string query = beacons[0].at("query").get<std::string>();
    EXPECT_TRUE(std::regex_match(query, std::regex(std::string("ktr_site=") + kTestSite +
                                                   "&ktr_uid=5A1B2C3D-0000-4111-8222-0123456789AB&__appver=291&__ip=1"
                                                   "&localdate=\\d{14}&ktr_url=tidewellPCMAC&action=appInfo"
                                                   "&p01=Deck%20Unit%202%2F1\\.23%2FSN-01\\.a_~&p02=SDJP"
                                                   "&p03=2024/03/05-14:07:09\\(\\+0900\\)")))
        << query;
    EXPECT_EQ("Deck Unit 2 FirmwareUpdate/Debian 12/AMD EPYC", Header(beacons[0], "User-Agent"));
}

TEST_F(Analytics, UnreachableHostHandsTheReportToTheCallbackOnce)
{
    ScopedEnv host("TIDEWELL_ANALYTICS_HOST", "127.0.0.1:" + std::to_string(UnusedLocalPort()));
    commXdata client;
    client.errorCallback(RecordFailure);
    failures = 0;
    CaptureStderr();
    EXPECT_EQ(1, client.send(Report()));
    std::string error = GetCapturedStderr();
    EXPECT_TRUE(std::regex_match(error, std::regex("curl_easy_perform\\(\\) failed: [^\n]+\n"))) << error;
    EXPECT_EQ(1, failures);
    EXPECT_EQ(Report().deviceSerial, failedCopy.deviceSerial);
    EXPECT_EQ(Report().uid, failedCopy.uid);
}

TEST_F(Analytics, LineEndsInTheAgentTextCannotAddHeaders)
{
    AnalyticsStub stub;
    _xdate_send_info_t report = Report();
    report.agentName = "Deck\r\nX-Injected: 1";
    EXPECT_EQ(0, commXdata().send(report));
    std::vector<picojson::object> beacons = stub.Beacons();
    ASSERT_EQ(1u, beacons.size());
    EXPECT_EQ("<absent>", Header(beacons[0], "X-Injected"));
    EXPECT_EQ("Deck  X-Injected: 1", Header(beacons[0], "User-Agent"));
}

} // namespace
