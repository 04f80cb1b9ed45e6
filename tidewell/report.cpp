#include "report.h"

#include <cstdio>
#include <ctime>
#include <sys/stat.h>

#include "oslib/icu_date.h"
#include "oslib/system_log.h"
#include "oslib/text.h"

picojson::value DeviceString(const char* bytes)
{
    if (bytes == nullptr) {
        return picojson::value();
    }
    std::string text;
    for (const char* c = bytes; *c != '\0'; ++c) {
        oslib::AppendLatin1(text, static_cast<unsigned char>(*c));
    }
    return picojson::value(text);
}

picojson::value ModifiedTime(const std::string& path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return picojson::value();
    }
    return picojson::value(static_cast<double>(info.st_mtime));
}

std::string FileName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

std::string Shown(const picojson::value& value)
{
    if (value.is<picojson::null>()) {
        return "none";
    }
    return oslib::EscapeControls(value.is<std::string>() ? value.get<std::string>() : value.to_str());
}

namespace {

std::string Age(long long seconds)
{
    if (seconds < 0) {
        return "in the future";
    }
    const struct { long long unit; const char* name; long long subunit; const char* subname; } scales[] = {
        {86400, "d", 3600, "h"}, {3600, "h", 60, "min"}, {60, "min", 1, "s"}};
    for (const auto& scale : scales) {
        if (seconds >= scale.unit) {
            return std::to_string(seconds / scale.unit) + " " + scale.name + " " +
                   std::to_string(seconds % scale.unit / scale.subunit) + " " + scale.subname + " ago";
        }
    }
    return std::to_string(seconds) + " s ago";
}

} // namespace

std::string DateAndAge(const picojson::value& seconds)
{
    double when = seconds.get<double>();
    return oslib::FormatDate("yyyy-MM-dd HH:mm:ss", when * 1000) + ", " +
           Age(static_cast<long long>(std::difftime(std::time(nullptr), static_cast<time_t>(when))));
}

void PrintLine(const std::string& line) { std::printf("%s\n", line.c_str()); }
