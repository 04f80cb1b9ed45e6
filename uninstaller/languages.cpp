#include "languages.h"

#include <algorithm>

#include "oslib/configuration.h"

namespace uninstaller {

namespace {

void AddLanguage(std::string entry, std::vector<std::string>& names)
{
    entry = entry.substr(0, entry.find_first_of(".@"));
    if (entry.empty() || entry == "C" || entry == "POSIX") {
        return;
    }
    std::vector<std::string> candidates{entry};
    size_t territory = entry.find('_');
    if (territory != std::string::npos && territory > 0) {
        candidates.push_back(entry.substr(0, territory));
    }
    for (const std::string& name : candidates) {
        if (std::find(names.begin(), names.end(), name) == names.end()) {
            names.push_back(name);
        }
    }
}

} // namespace

std::vector<std::string> PreferredLocalizations()
{
    const std::string& locale = oslib::Configured().messageLocale;
    std::vector<std::string> names;
    // As in gettext: the C locale shows the untranslated texts whatever LANGUAGE says.
    if (locale.empty() || locale == "C" || locale == "POSIX") {
        return names;
    }
    const std::string& list = oslib::Configured().languages;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(':', start);
        if (end == std::string::npos) {
            end = list.size();
        }
        AddLanguage(list.substr(start, end - start), names);
        start = end + 1;
    }
    AddLanguage(locale, names);
    return names;
}

} // namespace uninstaller
