// The user's languages as localization folder names.
#pragma once

#include <string>
#include <vector>

namespace uninstaller {

// Most preferred first, without repeats: the entries of LANGUAGE (colon-separated), then
// the message locale (the first of LC_ALL, LC_MESSAGES, LANG that is set). Each entry
// loses its ".codeset@modifier" and gives "ll_CC" followed by "ll". "C" and "POSIX"
// name no language; as the message locale, or when none is set, they also void LANGUAGE.
std::vector<std::string> PreferredLocalizations();

} // namespace uninstaller
