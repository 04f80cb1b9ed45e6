// Both list downloads, one after the other.
#include "dataCollector/collect_list.h"

#include "commXdata/commXdata.h"
#include "oslib/log.h"

int CollectVariousList(const char* firmListPath, const char* targetListPath)
{
    commXdata firmware;
    commXdata target;
    TW_TRACE_IN();
    firmware.errorCallback(nullptr);
    unsigned fw = firmware.getFirmVersionList(firmListPath);
    target.errorCallback(nullptr);
    unsigned pl = target.getTargetProductIDList(targetListPath);
    TW_LOG(3, "CollectVariousList Result fw=%d pl=%d\n", fw, pl);
    TW_TRACE_OUT();
    return static_cast<int>(fw + 2 * pl);
}
