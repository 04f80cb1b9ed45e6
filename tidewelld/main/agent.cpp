// Start-up, the signal loop with its one-second tick, and shutdown.
#include "main/agent_loop.h"

#include <csignal>
#include <cstring>
#include <unistd.h>

#include "commXdata/commXdata.h"
#include "dataCollector/app_watch.h"
#include "dataCollector/usage_report.h"
#include "main/check_interval.h"
#include "main/device_change.h"
#include "main/main.h"
#include "main/schedule.h"
#include "oslib/fetchwick_contract.h"
#include "oslib/icu_date.h"
#include "oslib/log.h"
#include "oslib/system_log.h"
#include "oslib/user_folders.h"
#include "platform/agent_lock.h"
#include "platform/stop_request.h"

oslib::Mutex _lock;
MacInfo _macInfo;
std::string tarProductIdPath;
std::string fwVerInfoTxtPath;
std::string fwVerUpTxtPath;
IdArray whiteList;
IdArray blackList;
UsbDevicesInfo _usbQnlDevInfo;
UsbDevicesInfo _usbQnlAllDevInfo;
std::atomic<uint8_t> _connect{0};
std::atomic<uint8_t> gExitFlag{0};

namespace {

constexpr uint32_t kResendTicks = 600;
constexpr uint32_t kWatchTicks = 10;

// False when an agent already runs for this user: two would each launch the downloader
// and report every device. Decided before any file is touched.
bool LockOneAgentPerUser()
{
    platform::AgentLock lock = platform::LockForLifetime(oslib::SupportFolder() + platform::kAgentLockFile);
    switch (lock.state) {
    case platform::AgentLock::State::kHeldElsewhere:
        // Its id is missing only in the instant between its lock and its write.
        if (lock.holder > 0) {
            oslib::SystemLog("Another agent runs for this user: pid %ld", static_cast<long>(lock.holder));
        } else {
            oslib::SystemLog("Another agent runs for this user");
        }
        return false;
    case platform::AgentLock::State::kUnavailable:
        // Better two agents than none.
        oslib::SystemLog("tidewelld.lock: %s; the single-instance guard is off", std::strerror(lock.error));
        return true;
    default:
        return true;
    }
}

void ResendSavedInfo()
{
    {
        oslib::MutexLock guard(_lock);
        UpdateAppStatus(0, _usbQnlAllDevInfo);
    }
    SendSavedInfo(&_macInfo);
}

void WatchApplications()
{
    UsbDevicesInfo copy;
    {
        oslib::MutexLock guard(_lock);
        CopyDevicesInfo(&copy, &_usbQnlAllDevInfo);
        UpdateAppStatus(0, _usbQnlAllDevInfo);
    }
    CollectAppInfo(&_macInfo, &copy);
    ReleaseDevicesInfo(&copy);
}

void ReleaseDeviceLists()
{
    oslib::MutexLock guard(_lock);
    ReleaseDevicesInfo(&_usbQnlDevInfo);
    ReleaseDevicesInfo(&_usbQnlAllDevInfo);
    whiteList.clear();
    blackList.clear();
}

AgentLoop& TheLoop()
{
    static AgentLoop loop(DefaultTickJobs());
    return loop;
}

} // namespace

void BuildListPaths()
{
    tarProductIdPath = oslib::ListFolder() + "tar_product_info.txt";
    fwVerInfoTxtPath = oslib::ListFolder() + "firm_version_info.txt";
    fwVerUpTxtPath = fetchwick::HandOffPath();
}

void InitDeviceLists()
{
    // Each list by reference: clang's analysis does not follow a pointer to a guarded one.
    auto giveIdArrays = [](UsbDevicesInfo& list) {
        list.whiteList = std::make_unique<IdArray>();
        list.blackList = std::make_unique<IdArray>();
    };
    oslib::MutexLock guard(_lock);
    giveIdArrays(_usbQnlDevInfo);
    giveIdArrays(_usbQnlAllDevInfo);
}

void ResetAgentState()
{
    ReleaseDeviceLists();
    NotifyDeviceConnect(false);
    _connect = 0;
    _schedule = DownloadSchedule{};
    _clock = oslib::NowMillis;
    ResetListURLs();
}

TickJobs DefaultTickJobs()
{
    return TickJobs{DownloadVariousList, DownloadVariousListRetry, ResendSavedInfo, WatchApplications,
                    [] { NotifyDeviceConnect(false); }};
}

bool AgentLoop::Tick(time_t now)
{
    if (lastDownloadedTime_ == 0) {
        lastDownloadedTime_ = now;
    }
    if (t1_ != 0 && difftime(now, t1_) < 1.0) {
        t1_ = now;
        return false;
    }
    t1_ = now;
    // A job may wait on a server for seconds, and a stop must come sooner than the service
    // manager's patience: no job starts once a SIGTERM is pending.
    if (jobs_.downloadVariousList(difftime(now, lastDownloadedTime_))) {
        lastDownloadedTime_ = now;
    }
    if (platform::StopRequested()) {
        return true;
    }
    if (jobs_.downloadVariousListRetry()) {
        lastDownloadedTime_ = now;
    }
    if (platform::StopRequested()) {
        return true;
    }
    CollectCustomerInfo();
    return true;
}

void AgentLoop::CollectCustomerInfo()
{
    if (saveInfo_ >= kResendTicks) {
        jobs_.resendSavedInfo();
        saveInfo_ = 0;
    }
    ++saveInfo_;

    if (collectInfo_ >= kWatchTicks) {
        collectInfo_ = 0;
        if (_connect == 1 && !platform::StopRequested()) {
            jobs_.watchApplications();
        }
    }
    ++collectInfo_;

    if (_connect == 0) {
        jobs_.notifyNoDevice();
    }
}

void CollectCustomerInfo() { TheLoop().CollectCustomerInfo(); }

int RunAgent(oslib::Configuration configuration, platform::Backends (*makeBackends)())
{
    // The signals are blocked before anything else, the backends and "App Run" included: a
    // thread inherits the mask, and a SIGTERM sent as soon as the agent announces itself
    // must end the loop instead of the process.
    sigset_t signals;
    sigemptyset(&signals);
    for (int sig : {SIGHUP, SIGINT, SIGALRM, SIGTERM}) {
        sigaddset(&signals, sig);
    }
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    // A launcher or terminal may close its end of standard error; the system log then
    // drops its lines instead of ending the agent. Children get the default back.
    signal(SIGPIPE, SIG_IGN);
    oslib::InstallConfiguration(std::move(configuration));
    platform::InstallBackends(makeBackends());
    // Every file of the agent is reached through these, opened once.
    const oslib::UserFolders folders;
    if (!LockOneAgentPerUser()) {
        return 0;
    }

    oslib::SystemLog("App Run");
    folders.RemoveStaleTemporaries();
    oslib::MoveEarlierInstall();
    CollectMacInfo(&_macInfo);

    BuildListPaths();
    if (oslib::Configured().doNotTrack) {
        TW_LOG(3, "DO_NOT_TRACK is set: no usage reports\n");
    }

    InitDeviceLists();

    // Changes from here on queue until the watcher's thread starts below, so a device
    // plugged in during the first scan still gets its rescan.
    std::unique_ptr<platform::DeviceWatcher> watcher = platform::Installed().makeDeviceWatcher();
    watcher->Listen();

    // Uncontended, as no other thread exists yet; taken all the same, so that the rescan
    // keeps one rule wherever it runs.
    int32_t previous = 0;
    int32_t current = 0;
    bool found = false;
    {
        oslib::MutexLock guard(_lock);
        found = RescanDevices(previous, current);
    }
    oslib::SystemLog("main Device Count prev=%d cur=%d", 0, current);
    if (found) {
        _connect = 1;
        deviceFound(previous, current);
    }

    SetTemporaryURL();

    if (!watcher->Start([] { onDeviceChange(0, 0, nullptr, nullptr); })) {
        oslib::SystemLog("device change notification unavailable");
    }

    alarm(1);
    while (gExitFlag == 0) {
        int sig = 0;
        if (sigwait(&signals, &sig) != 0) {
            continue;
        }
        if (sig == SIGALRM) {
            TheLoop().Tick(time(nullptr));
            platform::Installed().launcher->ReapDetachedChildren();
            SyncLog();
            // Armed again after skipped ticks too, so a clock set back cannot stop the loop.
            alarm(1);
        } else if (sig == SIGTERM) {
            gExitFlag = 1;
            // Pending again (blocked everywhere, it is never delivered): a rescan on the
            // watcher's thread sees the stop and gives up its device requests.
            kill(getpid(), SIGTERM);
        } else {
            oslib::SystemLog("Receive sinal %d", sig);
        }
    }

    // The watcher's thread ends before the lists it rescans are released.
    watcher->Stop();
    ReleaseDeviceLists();
    SyncLog();
    oslib::SystemLog("App Exit");
    return 0;
}
