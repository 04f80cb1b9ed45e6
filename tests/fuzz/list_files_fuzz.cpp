// The downloaded lists as arbitrary bytes, checked against connected devices and the updater;
// the list patterns find the groups that ICU, the engine they were written for, finds.
#include <unicode/regex.h>

#include "../support/device_list.h"
#include "fuzz_home.h"
#include "main/list_files.h"
#include "main/list_patterns.h"
#include "main/update_decision.h"
#include "oslib/fetchwick_contract.h"
#include "platform/icu_text.h"
#include "platform/list_regex.h"

static DeviceList devices, none;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzHome();
    const std::string contents = fetchwick::BundlePath() + "/Contents";
    std::filesystem::create_directories(contents);
    std::ofstream(contents + "/info.plist") << "<plist><dict><key>CFBundleVersion</key><string>1.0.1.5</string>"
                                               "</dict></plist>\n";
    devices.Add(0, "Deck Unit 2", nullptr, 0x0123).Add(0, "Mixer", nullptr, 0x0105).Add(0, "Caf\xe9", nullptr, 0x0900);
    return 0;
}

// On every line short enough for ICU to search without backtracking for ages, RE2 finds the same match and groups.
static void CompareWithIcu(const std::string& path)
{
    std::string text;
    std::string_view line;
    std::vector<std::string_view> groups;
    platform::ReadUtf8File(path, text);
    for (const char* pattern : {kHeaderPattern, kTargetRowPattern, kDeviceRowPattern, kSelfRowPattern}) {
        UErrorCode status = U_ZERO_ERROR;
        UParseError where;
        std::unique_ptr<icu::RegexPattern> icu(
            icu::RegexPattern::compile(icu::UnicodeString::fromUTF8(pattern), UREGEX_CASE_INSENSITIVE, where, status));
        const platform::CaseInsensitiveRegex re2(pattern);
        for (platform::Lines lines(text, platform::LineBreaks::CrLfThenLfThenCr); lines.Next(line);) {
            const icu::UnicodeString input = icu::UnicodeString::fromUTF8(icu::StringPiece(line.data(), line.size()));
            std::unique_ptr<icu::RegexMatcher> matcher(icu->matcher(input, status));
            const bool found = line.size() <= 256 && matcher->find(status);
            FUZZ_CHECK(U_SUCCESS(status) && (line.size() > 256 || re2.Search(line, groups) == found));
            for (int32_t group = 0; found && group <= matcher->groupCount(); ++group) {
                std::string expected;
                FUZZ_CHECK(matcher->group(group, status).toUTF8String(expected) == groups.at(group));
            }
        }
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    WriteInput(fwVerInfoTxtPath, data, size);
    WriteInput(tarProductIdPath, data, size);
    ValidateFileVersion(fwVerInfoTxtPath, "091");
    ValidateFileVersion(tarProductIdPath, "091");
    oslib::MutexLock guard(_lock);
    UpdateTarProductIdList();
    UpdateFirmware(&devices.list);
    UpdateFwVerTidewell(&none.list);
    CompareWithIcu(fwVerInfoTxtPath);
    return 0;
}
