// List files: the header check of both downloaded lists and the target product list.
#include "main/list_files.h"

#include <climits>
#include <cstdlib>

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
int32_t IntegerReading(const std::string& digits)
{
    long long value = std::strtoll(digits.c_str(), nullptr, 10);
    if (value > INT32_MAX) {
        return INT32_MAX;
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
    std::string firstLine = platform::SplitLines(text, platform::LineBreaks::CrLfThenCrThenLf).front();

    bool valid = false;
    std::vector<std::string> groups;
    if (!header.Search(firstLine, groups)) {
        TW_LOG(5, "file(%s) format version unkown : line= %s\n", name.c_str(), firstLine.c_str());
    } else if (groups[1] == expectedVersion) {
        valid = true;
    } else {
        TW_LOG(5, "file(%s) version unmatch (%s).\n", name.c_str(), groups[1].c_str());
    }
    TW_TRACE_OUT();
    return valid;
}

bool UpdateTarProductIdList()
{
    TW_TRACE_IN();
    std::vector<std::string> lines = platform::ReadLines(tarProductIdPath, platform::LineBreaks::CrLfThenLfThenCr);
    platform::CaseInsensitiveRegex row(kTargetRowPattern);

    blackList.clear();
    std::vector<std::string> groups;
    for (const std::string& line : lines) {
        if (row.Search(line, groups)) {
            blackList.push_back(static_cast<int16_t>(static_cast<uint16_t>(IntegerReading(groups[3]))));
        }
    }
    TW_LOG(3, "target list count=%d\n", static_cast<int>(blackList.size()));
    TW_TRACE_OUT();
    return true;
}
