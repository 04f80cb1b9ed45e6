#include <regex>

#include "agent_home.h"
#include "stub_server.h"

namespace {

using Analytics = AgentHome;

// The gate is asked with the site alone. Its reply says yes only as a JSON object whose "measurement" is a number
// other than 0 once truncated, and within 64 KiB; what fails is told on standard error.
TEST_F(Analytics, GateAsksWithTheSiteAloneAndReadsTheMeasurement)
{
    const std::string padded = R"({"measurement": 1, "pad": ")";
    const struct { std::string reply; bool on; const char* told; } cases[] = {
        {R"({"site": 9, "measurement": -3, "x": [1]})", true, ""},
        {R"({"measurement": 0.5})", false, ""}, {R"({"measurement": "1"})", false, ""}, {"[1]", false, ""},
        // Numbers beyond double's range once ended the agent.
        {R"({"other": [-1e400], "measurement": 1})", false, "number out of range\n"},
        {padded + std::string(64 * 1024 - padded.size() - 2, 'x') + "\"}", true, ""},
        {padded + std::string(64 * 1024 - padded.size() - 1, 'x') + "\"}", false,
         "curl_easy_perform() failed: Maximum file size exceeded\n"},
    };
    AnalyticsStub stub;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply.substr(0, 60));
        stub.Answer(c.reply);
        testing::internal::CaptureStderr();
        EXPECT_EQ(c.on, commXdata().canSend());
        EXPECT_EQ(c.told, testing::internal::GetCapturedStderr());
    }
    picojson::object asked = stub.requests("/appchk.php").at(0);
    EXPECT_EQ(std::string("site_id=") + kTestSite, asked.at("query").get<std::string>());
    EXPECT_EQ("<absent>", Header(asked, "User-Agent"));
}

// Any completed exchange counts as sent, a 500 too (a cut one does not: the watch tests). Line ends in
// the agent text cannot add headers.
TEST_F(Analytics, BeaconQueryInExactOrderWithOnlyTheDeviceTextEscaped)
{
    const _xdate_send_info_t report{"5A1B2C3D-0000-4111-8222-0123456789AB", "Deck Unit 2\r\nX-Injected: 1",
                                    "291", "Deck Unit 2/1.23/SN-01.a_~", "SDJP", "2024/03/05-14:07:09(+0900)"};
    AnalyticsStub stub;
    stub.Answer(R"({"measurement": 1})", 500);
    commXdata client;
    EXPECT_EQ(0, client.send(report));
    std::vector<picojson::object> beacons = stub.Beacons();
    ASSERT_EQ(1u, beacons.size());
    std::string query = beacons[0].at("query").get<std::string>();
    EXPECT_TRUE(std::regex_match(query, std::regex(std::string("ktr_site=") + kTestSite +
                                                   "&ktr_uid=5A1B2C3D-0000-4111-8222-0123456789AB&__appver=291&__ip=1"
                                                   "&localdate=20\\d{12}&ktr_url=tidewellPCMAC&action=appInfo"
                                                   "&p01=Deck%20Unit%202%2F1\\.23%2FSN-01\\.a_~&p02=SDJP"
                                                   "&p03=2024/03/05-14:07:09\\(\\+0900\\)")))
        << query;
    EXPECT_EQ("Deck Unit 2  X-Injected: 1", Header(beacons[0], "User-Agent"));
}

} // namespace
