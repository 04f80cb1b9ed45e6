// Which strings table the user's locale variables choose, and the fallback of a key.
#include <gtest/gtest.h>
#include <string>

#include "bundle.h"
#include "test_home.h"
#include "utility.h"

using namespace uninstaller;

namespace {

// A property list of one dictionary.
std::string Plist(const std::string& entries)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>" + entries + "</dict></plist>\n";
}

TEST(Languages, UserLanguagesThenDevelopmentLanguageThenKey)
{
    TempDir bundle;
    WriteFileText(bundle.path() + "/Contents/Info.plist",
                  Plist("<key>CFBundleDevelopmentRegion</key><string>en</string>"));
    // German lacks "Finish".
    for (const std::string language : {"en", "de", "pt_BR", "pt", "es"}) {
        std::string finish = language == "de" ? "" : "<key>Finish</key><string>Finish-" + language + "</string>";
        WriteFileText(bundle.path() + "/Contents/Resources/" + language + ".lproj/Localizable.strings",
                      Plist("<key>Restart</key><string>Restart-" + language + "</string>" + finish));
    }
    SetMainBundle(Bundle(bundle.path()));

    // LANGUAGE, LC_ALL, LC_MESSAGES, LANG, the key and its text.
    struct Row {
        const char *language, *all, *messages, *lang, *key, *text;
    };
    const Row rows[] = {
        {nullptr, nullptr, nullptr, "de_DE.UTF-8", "Restart", "Restart-de"},
        {nullptr, nullptr, nullptr, "de_DE.UTF-8", "Finish", "Finish-en"},
        {nullptr, nullptr, "es_ES.UTF-8", "de_DE.UTF-8", "Restart", "Restart-es"},
        {nullptr, "pt_BR.UTF-8@euro", "es_ES", "de", "Restart", "Restart-pt_BR"},
        {"ja::pt_PT:de", nullptr, nullptr, "es_ES", "Restart", "Restart-pt"},
        {"ja", nullptr, nullptr, "ja_JP", "Restart", "Restart-en"},
        // A C message locale, or none, voids LANGUAGE, as in gettext; C.UTF-8 does not.
        {"de", "C", nullptr, "es", "Restart", "Restart-en"},
        {"de", nullptr, nullptr, nullptr, "Restart", "Restart-en"},
        {"de", "C.UTF-8", nullptr, nullptr, "Restart", "Restart-de"},
    };
    for (const Row& row : rows) {
        ScopedEnv language("LANGUAGE", row.language);
        ScopedEnv all("LC_ALL", row.all);
        ScopedEnv messages("LC_MESSAGES", row.messages);
        ScopedEnv lang("LANG", row.lang);
        EXPECT_EQ(Utility::getLocalizedString(row.key, nullptr), row.text) << "row " << &row - rows;
    }
    EXPECT_EQ(Utility::getLocalizedString("Unknown", nullptr), "Unknown");
    EXPECT_EQ(Utility::getLocalizedString("Unknown", "note"), "note");
}

} // namespace
