// Class helpers of the uninstaller: localized strings and plain labels.
#pragma once

#include <gtk/gtk.h>
#include <string>

namespace uninstaller {

class Utility {
public:
    // Turns a text field into a plain label: no frame, not editable, not selectable,
    // transparent background, left-aligned.
    static void setupSimpleLabel(GtkEntry* field);

    // The key's text in the user's language; when that gives back the key, the text of
    // the development language, or `comment` (the key itself when comment is null).
    static std::string getLocalizedString(const std::string& key, const char* comment);
};

} // namespace uninstaller
