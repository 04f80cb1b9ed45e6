// tidewell refresh: both lists downloaded now, by the agent's own transfers and override
// files. Each replaces its list only when complete, by a rename: an agent that reads or
// downloads the same list meanwhile sees the old one or the new one whole.
#include <cstdio>

#include "commXdata/commXdata.h"
#include "main/list_files.h"
#include "main/main.h"
#include "oslib/system_log.h"
#include "oslib/user_folders.h"
#include "report.h"

namespace {

picojson::object Download(const std::string& path, const char* url, unsigned (commXdata::*download)(const char*))
{
    commXdata client;
    bool downloaded = (client.*download)(path.c_str()) == 0;
    picojson::value error;
    if (!downloaded) {
        error = picojson::value(client.listFailure());
    }
    return {{"name", picojson::value(FileName(path))},
            {"url", picojson::value(url)},
            {"downloaded", picojson::value(downloaded)},
            {"valid", picojson::value(downloaded && ValidateFileVersion(path, kListVersion))},
            {"error", error}};
}

} // namespace

Report RefreshReport()
{
    SetTemporaryURL();
    picojson::array ignored;
    for (const std::string& file : RefusedOverrideFiles()) {
        ignored.emplace_back(file);
    }
    picojson::array lists{
        picojson::value(Download(fwVerInfoTxtPath, fwUpdateURL, &commXdata::getFirmVersionList)),
        picojson::value(Download(tarProductIdPath, tarProductURL, &commXdata::getTargetProductIDList))};
    Report report;
    for (const picojson::value& list : lists) {
        if (!list.get("valid").get<bool>()) {
            report.status = kExitFailed;
        }
    }
    report.document = {{"lists", picojson::value(lists)}, {"ignored_overrides", picojson::value(ignored)}};
    return report;
}

void PrintRefresh(const picojson::object& document)
{
    for (const picojson::value& file : document.at("ignored_overrides").get<picojson::array>()) {
        std::fprintf(stderr, "tidewell: %s holds no https:// URL on its first line: the built-in address is used\n",
                     Shown(file).c_str());
    }
    for (const picojson::value& list : document.at("lists").get<picojson::array>()) {
        std::string name = Shown(list.get("name"));
        if (!list.get("downloaded").get<bool>()) {
            std::fprintf(stderr, "tidewell: %s not downloaded from %s: %s\n", name.c_str(),
                         Shown(list.get("url")).c_str(), Shown(list.get("error")).c_str());
        } else if (!list.get("valid").get<bool>()) {
            std::fprintf(stderr, "tidewell: %s downloaded from %s, but it is no list of this version: the agent does not use it\n",
                         name.c_str(), Shown(list.get("url")).c_str());
        } else {
            PrintLine(name + ": downloaded from " + Shown(list.get("url")));
        }
    }
}
