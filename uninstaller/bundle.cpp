#include "bundle.h"

#include <filesystem>
#include <system_error>

#include "languages.h"
#include "oslib/plist_file.h"

namespace fs = std::filesystem;

namespace uninstaller {

namespace {

bool IsFolder(const std::string& path)
{
    std::error_code error;
    return fs::is_directory(path, error);
}

std::optional<Bundle>& MainBundleSlot()
{
    static std::optional<Bundle> bundle;
    return bundle;
}

} // namespace

Bundle::Bundle(std::string path) : path_(std::move(path))
{
    if (IsFolder(path_ + "/Contents")) {
        contents_ = path_ + "/Contents";
        resources_ = contents_ + "/Resources";
    } else {
        contents_ = path_;
        resources_ = path_;
    }
    info_ = oslib::ReadPlistDictionary(contents_ + "/Info.plist");
}

Bundle Bundle::FromExecutable()
{
    std::error_code error;
    fs::path program = fs::read_symlink("/proc/self/exe", error);
    fs::path macos = program.parent_path();
    if (macos.filename() == "MacOS" && macos.parent_path().filename() == "Contents") {
        return Bundle(macos.parent_path().parent_path().string());
    }
    return Bundle(macos.string());
}

std::optional<std::string> Bundle::pathForResource(const std::string& name, const std::string& extension) const
{
    std::string path = resources_ + "/" + name + "." + extension;
    std::error_code error;
    if (!fs::exists(path, error)) {
        return std::nullopt;
    }
    return path;
}

std::optional<std::string> Bundle::infoString(const char* key) const
{
    std::string value;
    if (!oslib::PlistDictString(info_.get(), key, value)) {
        return std::nullopt;
    }
    return value;
}

std::string Bundle::tableFolder() const
{
    for (const std::string& language : PreferredLocalizations()) {
        std::string folder = resources_ + "/" + language + ".lproj";
        if (IsFolder(folder)) {
            return folder;
        }
    }
    if (std::optional<std::string> region = infoString("CFBundleDevelopmentRegion")) {
        std::string folder = resources_ + "/" + *region + ".lproj";
        if (IsFolder(folder)) {
            return folder;
        }
    }
    return resources_;
}

std::string Bundle::localizedString(const std::string& key, const std::string& value) const
{
    // The user's languages may change between lookups; only another folder is read anew.
    std::string folder = tableFolder();
    if (!table_ || table_->folder != folder) {
        table_ = std::make_shared<const Table>(
            Table{folder, oslib::ReadPlistDictionary(folder + "/Localizable.strings")});
    }
    std::string text;
    if (oslib::PlistDictString(table_->strings.get(), key.c_str(), text)) {
        return text;
    }
    return value.empty() ? key : value;
}

const Bundle& MainBundle()
{
    std::optional<Bundle>& bundle = MainBundleSlot();
    if (!bundle) {
        bundle = Bundle::FromExecutable();
    }
    return *bundle;
}

void SetMainBundle(const Bundle& bundle)
{
    MainBundleSlot() = bundle;
}

} // namespace uninstaller
