#include "icu_date.h"

#include <memory>
#include <sys/time.h>
#include <unicode/calendar.h>
#include <unicode/smpdtfmt.h>

namespace platform {

double NowMillis()
{
    struct timeval tv {};
    gettimeofday(&tv, nullptr);
    return static_cast<double>(tv.tv_sec) * 1000.0 + static_cast<double>(tv.tv_usec / 1000);
}

std::string FormatDate(const char* pattern, double millis)
{
    UErrorCode status = U_ZERO_ERROR;
    icu::SimpleDateFormat formatter(icu::UnicodeString::fromUTF8(pattern), status);
    if (U_FAILURE(status)) {
        return std::string();
    }
    icu::UnicodeString text;
    formatter.format(millis, text);
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

} // namespace platform
