#include "host_probe_linux.h"

#include <cstdio>
#include <sstream>
#include <systemd/sd-id128.h>

#include "oslib/text.h"
#include "oslib/whole_file.h"

namespace platform {

namespace {

// Fixed for this product: every build on one host yields the same identifier.
constexpr sd_id128_t kApplicationId =
    SD_ID128_MAKE(8e, 47, e0, 60, ce, 6e, 43, bc, 88, cf, 83, 21, d7, ea, 51, 5e);

std::optional<std::string> NonEmpty(std::string text)
{
    return text.empty() ? std::nullopt : std::optional<std::string>(std::move(text));
}

std::optional<std::string> ReadText(const std::string& path)
{
    std::string text;
    return oslib::ReadRegularFile(path, text) ? std::optional<std::string>(std::move(text)) : std::nullopt;
}

// An os-release value: unquoted, or in single or double quotes (shell escapes in the latter).
std::string OsReleaseValue(const std::string& raw)
{
    if (raw.size() < 2 || (raw[0] != '"' && raw[0] != '\'')) {
        return raw;
    }
    char quote = raw[0];
    std::string value;
    for (size_t i = 1; i < raw.size() && raw[i] != quote; ++i) {
        if (quote == '"' && raw[i] == '\\' && i + 1 < raw.size()) {
            ++i;
        }
        value.push_back(raw[i]);
    }
    return value;
}

// The value of the first "key<separator>value" line whose key is `key`, trimmed.
std::optional<std::string> KeyedValue(const std::string& text, char separator, const std::string& key)
{
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        size_t at = line.find(separator);
        if (at != std::string::npos && oslib::Trimmed(line.substr(0, at)) == key) {
            return oslib::Trimmed(line.substr(at + 1));
        }
    }
    return std::nullopt;
}

std::optional<std::string> CpuinfoValue(const std::optional<std::string>& text, const std::string& name)
{
    std::optional<std::string> value = text ? KeyedValue(*text, ':', name) : std::nullopt;
    return value ? NonEmpty(*value) : std::nullopt;
}

class LinuxHostProbe : public HostProbe {
public:
    explicit LinuxHostProbe(LinuxHostFiles files) : files_(std::move(files)) {}

    std::optional<std::string> HardwareUUID() override
    {
        sd_id128_t id;
        if (sd_id128_get_machine_app_specific(kApplicationId, &id) < 0) {
            return std::nullopt;
        }
        char text[37];
        const uint8_t* b = id.bytes;
        std::snprintf(text, sizeof text, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b[0],
                      b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
        return std::string(text);
    }

    std::optional<std::string> SystemVersion() override
    {
        // The os-release defaults: an unset or empty name, or no file at all, never fails
        // the host collection (every report would go out without a uid).
        for (const std::string& path : files_.osRelease) {
            if (std::optional<std::string> text = ReadText(path)) {
                for (const char* key : {"PRETTY_NAME", "NAME"}) {
                    std::optional<std::string> raw = KeyedValue(*text, '=', key);
                    std::string name = raw ? oslib::Trimmed(OsReleaseValue(*raw)) : std::string();
                    if (!name.empty()) {
                        return name;
                    }
                }
                break;
            }
        }
        return std::string("Linux");
    }

    std::optional<std::string> ProcessorName() override
    {
        return CpuinfoValue(ReadText(files_.cpuinfo), "model name");
    }

    std::optional<std::string> ChipName() override
    {
        if (std::optional<std::string> model = ReadText(files_.deviceTreeModel)) {
            model->erase(model->find_last_not_of('\0') + 1);
            if (std::optional<std::string> chip = NonEmpty(oslib::Trimmed(*model))) {
                return chip;
            }
        }
        return CpuinfoValue(ReadText(files_.cpuinfo), "Hardware");
    }

private:
    LinuxHostFiles files_;
};

} // namespace

LinuxHostFiles SystemHostFiles()
{
    return LinuxHostFiles{{"/etc/os-release", "/usr/lib/os-release"}, "/proc/cpuinfo", "/proc/device-tree/model"};
}

std::unique_ptr<HostProbe> MakeLinuxHostProbe(LinuxHostFiles files)
{
    return std::make_unique<LinuxHostProbe>(std::move(files));
}

std::unique_ptr<HostProbe> MakeSystemHostProbe() { return MakeLinuxHostProbe(SystemHostFiles()); }

} // namespace platform
