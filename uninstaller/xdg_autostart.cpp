#include "xdg_autostart.h"

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <system_error>
#include <unistd.h>

#include "oslib/configuration.h"
#include "oslib/text.h"
#include "oslib/user_folders.h"
#include "oslib/whole_file.h"

namespace fs = std::filesystem;

namespace uninstaller {

namespace {

std::string AutostartFolder()
{
    const std::string& config = oslib::Configured().configHome;
    return (config.empty() ? oslib::HomeFolder() + "/.config" : config) + "/autostart";
}

std::vector<std::string> DisplayNames(const fs::path& file)
{
    std::vector<std::string> names;
    std::string contents;
    oslib::ReadRegularFile(file.string(), contents);
    std::istringstream in(contents);
    std::string line;
    bool inEntry = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        size_t equals = line.find('=');
        if (!inEntry || equals == std::string::npos) {
            continue;
        }
        std::string key = oslib::Trimmed(line.substr(0, equals));
        if (key == "Name" || (key.rfind("Name[", 0) == 0 && key.back() == ']')) {
            names.push_back(oslib::Trimmed(line.substr(equals + 1)));
        }
    }
    return names;
}

} // namespace

std::vector<LoginItem> XdgAutostart::snapshot()
{
    std::vector<LoginItem> items;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(AutostartFolder(), error)) {
        if (entry.path().extension() == ".desktop" && entry.is_regular_file(error)) {
            items.push_back({entry.path().string(), DisplayNames(entry.path())});
        }
    }
    std::sort(items.begin(), items.end(), [](const LoginItem& a, const LoginItem& b) { return a.id < b.id; });
    return items;
}

void XdgAutostart::remove(const LoginItem& item)
{
    unlink(item.id.c_str());
}

} // namespace uninstaller
