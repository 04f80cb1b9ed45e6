#include "oslib/icu_date.h"

#include <map>
#include <memory>
#include <sys/time.h>
#include <unicode/calendar.h>
#include <unicode/smpdtfmt.h>

namespace oslib {

namespace {

// One formatter per pattern and thread, null when the pattern does not build. Building
// one, and the number formatters it warms up over its first calls, cost some hundred
// times a format: every log line paid that. An instance is not safe to share between
// threads. The default locale and time zone are fixed once per process, so a kept
// formatter writes what a new one would.
icu::SimpleDateFormat* Formatter(const char* pattern)
{
    thread_local std::map<std::string, std::unique_ptr<icu::SimpleDateFormat>> formatters;
    std::unique_ptr<icu::SimpleDateFormat>& formatter = formatters[pattern];
    if (formatter == nullptr) {
        UErrorCode status = U_ZERO_ERROR;
        formatter = std::make_unique<icu::SimpleDateFormat>(icu::UnicodeString::fromUTF8(pattern), status);
        if (U_FAILURE(status)) {
            formatter.reset();
        }
    }
    return formatter.get();
}

} // namespace

double NowMillis()
{
    struct timeval tv {};
    gettimeofday(&tv, nullptr);
    return static_cast<double>(tv.tv_sec) * 1000.0 + static_cast<double>(tv.tv_usec / 1000);
}

std::string FormatDate(const char* pattern, double millis)
{
    icu::SimpleDateFormat* formatter = Formatter(pattern);
    if (formatter == nullptr) {
        return std::string();
    }
    icu::UnicodeString text;
    formatter->format(millis, text);
    std::string out;
    text.toUTF8String(out);
    return out;
}

bool ParseDate(const char* pattern, const std::string& text, double& millis)
{
    UErrorCode status = U_ZERO_ERROR;
    icu::SimpleDateFormat formatter(icu::UnicodeString::fromUTF8(pattern), status);
    if (U_FAILURE(status)) {
        return false;
    }
    icu::UnicodeString input = icu::UnicodeString::fromUTF8(text);
    icu::ParsePosition position(0);
    UDate parsed = formatter.parse(input, position);
    if (position.getErrorIndex() >= 0 || position.getIndex() == 0) {
        return false;
    }
    millis = parsed;
    return true;
}

int DayOfMonth(double millis)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Calendar> calendar(icu::Calendar::createInstance(status));
    if (U_FAILURE(status)) {
        return 0;
    }
    calendar->setTime(millis, status);
    int day = calendar->get(UCAL_DATE, status);
    return U_SUCCESS(status) ? day : 0;
}

} // namespace oslib
