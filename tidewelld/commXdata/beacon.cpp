// The beacon that carries one usage report, the send gate asked before it, and the
// time stamps of the reports.
#include "commXdata/commXdata.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <picojson.h>
#include <stdexcept>

#include "commXdata/gate_reply.h"
#include "commXdata/transfer.h"
#include "oslib/configuration.h"
#include "oslib/system_log.h"

namespace {

std::string AnalyticsBase() { return "https://" + oslib::Configured().analyticsHost; }

const std::string& AnalyticsSite() { return oslib::Configured().analyticsSite; }

// A line end in a header value would start a header of its own.
std::string HeaderValue(std::string text)
{
    for (char& c : text) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return text;
}

// Performs the GET into `reply`; on failure says why on standard error.
bool Perform(CURL* handle, const std::string& url, std::string& reply)
{
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, commXdata::onReceive);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &reply);
    CURLcode rc = ApplyTransportOptions(handle, kAnalyticsLimits);
    if (rc == CURLE_OK) {
        rc = curl_easy_perform(handle);
    }
    if (rc != CURLE_OK) {
        std::fprintf(stderr, "curl_easy_perform() failed: %s\n", curl_easy_strerror(rc));
        return false;
    }
    return true;
}

struct CurlFree {
    void operator()(char* text) const { curl_free(text); }
};

// One beacon exchange on a handle of its own, so that its connection is closed before a
// failure is reported. Any completed exchange counts as sent, whatever the status.
bool SendBeacon(const _xdate_send_info_t& info)
{
    oslib::CurlEasy handle(curl_easy_init());
    if (!handle) {
        return false;
    }
    std::unique_ptr<char, CurlFree> serial(
        curl_easy_escape(handle.get(), info.deviceSerial.data(), static_cast<int>(info.deviceSerial.size())));
    if (!serial) {
        return false;
    }
    std::string url = AnalyticsBase() + "/dot.php" + "?ktr_site=" + AnalyticsSite() + "&ktr_uid=" + info.uid +
                      "&__appver=" + info.deviceVersion + "&__ip=1" + "&localdate=" + commXdata::getDatetimeStr() +
                      "&ktr_url=tidewellPCMAC" + "&action=appInfo" + "&p01=" + serial.get() +
                      "&p02=" + info.appConnected + "&p03=" + info.dateConnected;
    std::string userAgent = HeaderValue(info.agentName);
    curl_easy_setopt(handle.get(), CURLOPT_USERAGENT, userAgent.c_str());
    std::string reply;
    return Perform(handle.get(), url, reply);
}

std::string LocalTime(const char* format)
{
    time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    char text[80];
    size_t length = strftime(text, sizeof text, format, &local);
    return std::string(text, length);
}

} // namespace

int commXdata::send(_xdate_send_info_t info)
{
    if (SendBeacon(info)) {
        return 0;
    }
    if (errorCallbackFunc != nullptr) {
        errorCallbackFunc(&info);
    }
    return 1;
}

bool commXdata::canSend()
{
    oslib::CurlEasy handle(curl_easy_init());
    std::string reply;
    if (!handle || !Perform(handle.get(), AnalyticsBase() + "/appchk.php?site_id=" + AnalyticsSite(), reply)) {
        return false;
    }
    handle.reset();

    std::string error;
    bool on = ReadMeasurementSwitch(reply, error);
    if (!error.empty()) {
        std::fprintf(stderr, "%s\n", oslib::EscapeControls(error).c_str());
    }
    return on;
}

bool ReadMeasurementSwitch(const std::string& reply, std::string& error)
{
    picojson::value value;
    try {
        error = picojson::parse(value, reply);
    } catch (const std::overflow_error&) {
        // Thrown for a number beyond double's range, such as 1e999.
        error = "number out of range";
    }
    if (!error.empty()) {
        return false;
    }
    // Anything but an object with a numeric "measurement" reads as measurement off.
    if (!value.is<picojson::object>()) {
        return false;
    }
    const picojson::object& members = value.get<picojson::object>();
    auto measurement = members.find("measurement");
    if (measurement == members.end() || !measurement->second.is<double>()) {
        return false;
    }
    return std::trunc(measurement->second.get<double>()) != 0.0;
}

std::string commXdata::getDatetimeStr() { return LocalTime("%Y%m%d%H%M%S"); }

std::string commXdata::getLocalDateTimeStr() { return LocalTime("%Y/%m/%d-%H:%M:%S(%z)"); }
