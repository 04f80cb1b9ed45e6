// An application bundle on disk: Contents/Info.plist, Contents/MacOS/<program>,
// Contents/Resources/ with one "<language>.lproj" folder per localization.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace uninstaller {

class Bundle {
public:
    // A folder that has no "Contents" is a flat bundle: Info.plist and resources at its
    // top, as a localization folder opened as a bundle.
    explicit Bundle(std::string path);

    // The bundle around the running program, or the program's own folder when the program
    // does not sit in "Contents/MacOS".
    static Bundle FromExecutable();

    const std::string& path() const { return path_; }

    // "<Resources>/<name>.<extension>" when that file or folder exists.
    std::optional<std::string> pathForResource(const std::string& name, const std::string& extension) const;

    std::optional<std::string> infoString(const char* key) const;

    // The key's text in the "Localizable" table of the user's first language that the
    // bundle holds (else the development language, else the non-localized table). A key
    // missing there gives `value`, or the key itself when `value` is empty.
    std::string localizedString(const std::string& key, const std::string& value) const;

private:
    struct Table {
        std::string folder;
        std::shared_ptr<void> strings;  // the table's dictionary; null without one
    };

    std::string tableFolder() const;

    std::string path_;
    std::string contents_;   // folder of Info.plist
    std::string resources_;  // folder of the resources
    std::shared_ptr<void> info_;  // Info.plist's dictionary, read once; null without one
    mutable std::shared_ptr<const Table> table_;  // the table of the last lookup
};

// The running program's bundle; main sets it, tests set their own.
const Bundle& MainBundle();
void SetMainBundle(const Bundle& bundle);

} // namespace uninstaller
