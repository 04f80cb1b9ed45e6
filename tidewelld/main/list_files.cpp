// List files: the header check of both downloaded lists and the target product list.
#include "main/list_files.h"

#include <algorithm>
#include <climits>

#include "main/list_patterns.h"
#include "main/main.h"
#include "oslib/log.h"
#include "platform/icu_text.h"
#include "platform/list_regex.h"

namespace {

std::string FileNamePart(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The group's digits as a signed 32-bit number, saturating; no digits read as 0.
int32_t IntegerReading(std::string_view digits)
{
    int64_t value = 0;
    for (char digit : digits) {
        value = std::min<int64_t>(value * 10 + (digit - '0'), INT32_MAX);
    }
    return static_cast<int32_t>(value);
}

} // namespace

bool ValidateFileVersion(const std::string& path, const std::string& expectedVersion)
{
    TW_TRACE_IN();
    platform::CaseInsensitiveRegex header(kHeaderPattern);
    std::string name = FileNamePart(path);
    std::string text;
    if (!platform::ReadUtf8File(path, text)) {
        TW_LOG(4, "file open error.%s\n", name.c_str());
        return false;
    }
    // The separator is the whole text's, the header the first line alone.
    std::string_view firstLine;
    platform::Lines(text, platform::LineBreaks::CrLfThenCrThenLf).Next(firstLine);

    bool valid = false;
    std::vector<std::string_view> groups;
    if (!header.Search(firstLine, groups)) {
        TW_LOG(5, "file(%s) format version unkown : line= %.*s\n", name.c_str(), static_cast<int>(firstLine.size()),
               firstLine.data());
    } else if (groups[1] == expectedVersion) {
        valid = true;
    } else {
        TW_LOG(5, "file(%s) version unmatch (%.*s).\n", name.c_str(), static_cast<int>(groups[1].size()),
               groups[1].data());
    }
    TW_TRACE_OUT();
    return valid;
}

bool UpdateTarProductIdList()
{
    TW_TRACE_IN();
    // Rows are scanned in place: a list of 4 MiB costs its text, not a string per row.
    std::string text;
    platform::ReadUtf8File(tarProductIdPath, text);  // left empty when unreadable: no row
    platform::CaseInsensitiveRegex row(kTargetRowPattern);

    blackList.clear();
    std::string_view line;
    std::vector<std::string_view> groups;
    for (platform::Lines lines(text, platform::LineBreaks::CrLfThenLfThenCr); lines.Next(line);) {
        if (row.Search(line, groups)) {
            blackList.push_back(static_cast<int16_t>(static_cast<uint16_t>(IntegerReading(groups[3]))));
        }
    }
    TW_LOG(3, "target list count=%d\n", static_cast<int>(blackList.size()));
    TW_TRACE_OUT();
    return true;
}
