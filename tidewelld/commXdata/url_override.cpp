// The list URLs' override files, read once at start-up: the first line of each holds a
// complete URL that replaces the built-in default.
#include "commXdata/commXdata.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "oslib/https_transfer.h"
#include "oslib/log.h"
#include "oslib/user_folders.h"
#include "oslib/whole_file.h"

namespace {

constexpr const char* kFirmwareOverrideFile = "FwUpInfoURL.txt";
constexpr const char* kTargetOverrideFile = "TarProductURL.txt";

// An override file is a URL and a line end; a larger file counts as unreadable.
constexpr size_t kOverrideCap = 4096;

// The first line of the override file, without its line end and at most 1023 bytes;
// false when the file is missing, unreadable or the line is blank (an empty URL could never
// work).
bool ReadOverrideFile(const char* fileName, std::string& url)
{
    std::string text;
    if (!oslib::ReadRegularFile(oslib::ListFolder() + fileName, text, kOverrideCap)) {
        return false;
    }
    // As a line read into 1024 bytes: up to its first line end or NUL, 1023 bytes at most.
    size_t length = std::min<size_t>(text.find_first_of(std::string("\n\0", 2)), 1023);
    url = text.substr(0, length);
    if (!url.empty() && url.back() == '\r') {
        url.pop_back();
    }
    return !url.empty();
}

// `name` completes the message: "Download FwUpdateURL change!: ..." and the like.
void ApplyOverrideFile(const char* fileName, const char* name, char (&url)[1024])
{
    std::string line;
    if (!ReadOverrideFile(fileName, line)) {
        return;
    }
    if (!oslib::IsHttpsUrl(line)) {
        TW_LOG(4, "Download %s not changed, %s holds no https:// URL: %s\n", name, fileName, line.c_str());
        return;
    }
    TW_LOG(3, "Download %s change!: %s\n", name, line.c_str());
    snprintf(url, sizeof url, "%s", line.c_str());
}

} // namespace

void SetFwUpdateInfoURL() { ApplyOverrideFile(kFirmwareOverrideFile, "FwUpdateURL", fwUpdateURL); }

void SetTarProductURL() { ApplyOverrideFile(kTargetOverrideFile, "tarProductURL", tarProductURL); }

void SetTemporaryURL()
{
    SetFwUpdateInfoURL();
    SetTarProductURL();
}

std::vector<std::string> RefusedOverrideFiles()
{
    std::vector<std::string> refused;
    for (const char* fileName : {kFirmwareOverrideFile, kTargetOverrideFile}) {
        std::string line;
        if (ReadOverrideFile(fileName, line) && !oslib::IsHttpsUrl(line)) {
            refused.push_back(fileName);
        }
    }
    return refused;
}
