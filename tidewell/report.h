// What a command found, as one JSON document with stable keys (written down in tidewell(1)),
// and the helpers that fill it and show it as text.
#pragma once

#include <picojson.h>
#include <string>

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct Report {
    picojson::object document;
    int status = kExitDone;
};

// The commands; each reads what the agent keeps, and only Refresh writes (the two lists).
Report StatusReport();
Report DevicesReport();
Report UpdatesReport();
Report RefreshReport();

// Their text forms, read from the document.
void PrintStatus(const picojson::object& document);
void PrintDevices(const picojson::object& document);
void PrintUpdates(const picojson::object& document);
void PrintRefresh(const picojson::object& document);

// A USB string as the device lists keep it (one byte per character, the low byte of its
// UTF-16 unit, so Latin-1), in UTF-8; null when the device reports none.
picojson::value DeviceString(const char* bytes);

// The file's modification time in seconds since the epoch; null when it is missing.
picojson::value ModifiedTime(const std::string& path);

// The file's name, without its folder.
std::string FileName(const std::string& path);

// A value for a terminal: a string with its control characters escaped, a number as it
// reads, "none" for null.
std::string Shown(const picojson::value& value);

// Seconds since the epoch as a local date and its age: "2026-12-07 10:00:00, 3 h 2 min ago".
std::string DateAndAge(const picojson::value& seconds);

// Prints one line on standard output.
void PrintLine(const std::string& line);
