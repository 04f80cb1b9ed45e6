// tidewell updates: the rows of the hand-off file, as the downloader receives them.
#include "main/main.h"
#include "oslib/fetchwick_contract.h"
#include "oslib/hand_off.h"
#include "platform/icu_text.h"
#include "report.h"

Report UpdatesReport()
{
    picojson::array updates;
    double skipped = 0;
    std::string text;
    platform::ReadUtf8File(fwVerUpTxtPath, text);
    std::string_view line;
    for (platform::Lines lines(text, platform::LineBreaks::CrLfThenLfThenCr); lines.Next(line);) {
        fetchwick::HandOffRow row;
        if (fetchwick::ParseHandOffRow(std::string(line), row)) {
            updates.emplace_back(picojson::object{{"product", picojson::value(row.product)},
                                                  {"installed", picojson::value(row.installed)},
                                                  {"latest", picojson::value(row.latest)},
                                                  {"package", picojson::value(row.address)}});
        } else if (!line.empty()) {
            ++skipped;
        }
    }
    Report report;
    report.document = {{"path", picojson::value(fwVerUpTxtPath)},
                       {"written", ModifiedTime(fwVerUpTxtPath)},
                       {"updates", picojson::value(updates)},
                       {"skipped", picojson::value(skipped)}};
    return report;
}

void PrintUpdates(const picojson::object& document)
{
    const picojson::value& written = document.at("written");
    if (written.is<picojson::null>()) {
        PrintLine("no update handed to the downloader yet");
        return;
    }
    PrintLine("handed to the downloader " + DateAndAge(written) + ":");
    for (const picojson::value& update : document.at("updates").get<picojson::array>()) {
        PrintLine("  " + Shown(update.get("product")) + ": " + Shown(update.get("installed")) + " -> " +
                  Shown(update.get("latest")) + ", " + Shown(update.get("package")));
    }
    if (document.at("skipped").get<double>() > 0) {
        PrintLine("  (" + Shown(document.at("skipped")) + " line(s) that are no update row skipped)");
    }
}
