// Dates formatted and parsed by ICU patterns with the default locale and time zone.
#pragma once

#include <ctime>
#include <string>

namespace oslib {

// Milliseconds since the epoch.
double NowMillis();

// `millis` formatted with an ICU pattern such as "yyyy/MM/dd HH:mm:ss".
std::string FormatDate(const char* pattern, double millis);

// Parses `text` with an ICU pattern; false when it does not parse.
bool ParseDate(const char* pattern, const std::string& text, double& millis);

// The day of the month of `millis` in the current calendar.
int DayOfMonth(double millis);

} // namespace oslib
