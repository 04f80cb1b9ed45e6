// The small HTTP client: list downloads, beacon, send gate and time stamps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One usage report.
struct _xdate_send_info_t {
    std::string uid;
    std::string agentName;
    std::string deviceVersion;
    std::string deviceSerial;
    std::string appConnected;
    std::string dateConnected;
};

using ErrorCallbackFunc = void (*)(const _xdate_send_info_t*);

// Handed to a list download's write callback for one transfer.
struct ListDownloadContext;

// One object per request, created on the stack.
class commXdata {
public:
    commXdata();

    void errorCallback(ErrorCallbackFunc func);

    // Appends the bytes to the std::string at userData; fails the transfer (returns 0) when
    // the reply would grow past 64 KiB.
    static size_t onReceive(char* data, size_t size, size_t count, void* userData);

    int send(_xdate_send_info_t info);
    bool canSend();
    static std::string getDatetimeStr();
    static std::string getLocalDateTimeStr();

    static size_t onFirmVersionListReceive(char* data, size_t size, size_t count, void* userData);
    unsigned getFirmVersionList(const char* path);
    static size_t onTargetProductIDListReceive(char* data, size_t size, size_t count, void* userData);
    unsigned getTargetProductIDList(const char* path);
    // Why this object's last list download failed: the server's host and libcurl's error
    // text, the HTTP status, or the local reason; empty after a success.
    const std::string& listFailure() const { return listFailure_; }

private:
    ErrorCallbackFunc errorCallbackFunc;
    std::string listFailure_;
};

// The list URLs: built-in defaults, replaced once at start-up by the override files.
extern char fwUpdateURL[1024];
extern char tarProductURL[1024];
// Puts the built-in defaults back (ResetAgentState).
void ResetListURLs();

void SetTemporaryURL();
void SetFwUpdateInfoURL();
void SetTarProductURL();
// The override files whose first line is no https:// URL: they leave the built-in URL in place.
std::vector<std::string> RefusedOverrideFiles();
