// The user's languages and the development-language fallback of localized strings.
#include <cstdio>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utility>

#include "fakes.h"
#include "bundle.h"
#include "languages.h"
#include "platform/plist_file.h"
#include "utility.h"

using namespace uninstaller_test;

namespace {

class Languages : public ::testing::Test {
protected:
    ScopedEnv language_{"LANGUAGE", nullptr};
    ScopedEnv all_{"LC_ALL", nullptr};
    ScopedEnv messages_{"LC_MESSAGES", nullptr};
    ScopedEnv lang_{"LANG", nullptr};
};

TEST_F(Languages, ListThenMessageLocaleWithoutCodesetOrModifier)
{
    setenv("LANGUAGE", "de_AT.UTF-8@euro::fr:de", 1);
    setenv("LC_MESSAGES", "pt_BR.UTF-8", 1);
    setenv("LANG", "es_ES.UTF-8", 1);
    EXPECT_EQ(PreferredLocalizations(), (std::vector<std::string>{"de_AT", "de", "fr", "pt_BR", "pt"}));

    // A C or POSIX message locale voids LANGUAGE, as in gettext.
    const std::pair<const char*, std::vector<std::string>> messageLocales[] = {
        {"C.UTF-8", {"de_AT", "de", "fr"}}, {"C", {}}, {"POSIX", {}}};
    for (const auto& [locale, expected] : messageLocales) {
        setenv("LC_ALL", locale, 1);
        EXPECT_EQ(PreferredLocalizations(), expected) << locale;
    }
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        unsetenv(variable);
    }
    EXPECT_EQ(PreferredLocalizations(), std::vector<std::string>{});
}

TEST_F(Languages, UserLanguageFirstThenDevelopmentLanguageThenKey)
{
    Strings german = AllKeys("de");
    german.erase("Finish");
    Strings english = AllKeys("en");
    TestBundle bundle({{"en", english}, {"de", german}, {"pt_BR", AllKeys("pt_BR")}, {"pt", AllKeys("pt")}});

    setenv("LANG", "de_DE.UTF-8", 1);
    EXPECT_EQ(Utility::getLocalizedString("Restart", nullptr), "Restart-de");
    EXPECT_EQ(Utility::getLocalizedString("Finish", nullptr), "Finish-en");
    EXPECT_EQ(Utility::getLocalizedString("Unknown", nullptr), "Unknown");
    EXPECT_EQ(Utility::getLocalizedString("Unknown", "note"), "note");

    setenv("LANGUAGE", "pt_BR", 1);
    EXPECT_EQ(Utility::getLocalizedString("Cancel", nullptr), "Cancel-pt_BR");
    setenv("LANGUAGE", "pt_PT:de", 1);
    EXPECT_EQ(Utility::getLocalizedString("Cancel", nullptr), "Cancel-pt");
    setenv("LANGUAGE", "ja", 1);
    unsetenv("LANG");
    EXPECT_EQ(Utility::getLocalizedString("Cancel", nullptr), "Cancel-en");
}

TEST_F(Languages, PipeInPlaceOfTheUsersTableFallsBackToTheDevelopmentLanguage)
{
    TestBundle bundle({{"en", AllKeys("en")}, {"de", AllKeys("de")}});
    std::string table = bundle.path() + "/Contents/Resources/de.lproj/Localizable.strings";
    std::remove(table.c_str());
    ASSERT_EQ(mkfifo(table.c_str(), 0600), 0);

    setenv("LANG", "de_DE.UTF-8", 1);
    EXPECT_EQ(Utility::getLocalizedString("Restart", nullptr), "Restart-en");
}

TEST(ShippedBundle, EveryLanguageHoldsTheFiveKeys)
{
    const std::string resources = std::string(TIDEWELL_UNINSTALLER_BUNDLE) + "/Contents/Resources/";
    for (const char* language : {"en", "de", "fr"}) {
        platform::PlistPtr table = platform::ReadPlistDictionary(resources + language + ".lproj/Localizable.strings");
        ASSERT_TRUE(table) << language;
        for (const auto& entry : AllKeys(language)) {
            std::string text;
            EXPECT_TRUE(platform::PlistDictString(table.get(), entry.first.c_str(), text))
                << language << " " << entry.first;
        }
    }
    uninstaller::Bundle shipped(TIDEWELL_UNINSTALLER_BUNDLE);
    EXPECT_EQ(shipped.infoString("CFBundleIdentifier"), "com.quenlar.Tidewell.uninstaller");
    EXPECT_EQ(shipped.infoString("CFBundleDevelopmentRegion"), "en");
}

} // namespace
