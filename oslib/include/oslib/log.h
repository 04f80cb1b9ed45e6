// The agent's log file: what every module writes through, in the file and on the system log.
#pragma once

#include <cstdint>

// Only levels >= debugLevel are written. Fixed at 3; tests may lower it.
extern int32_t debugLevel;

void LogPrintf(uint32_t level, const char* sourcePath, int32_t line, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

// While one lives on a thread, that thread's log lines are appended as always but forced
// to disk together when the outermost one ends: a rescan writes dozens of lines, and a
// disk flush per line cost more than the rest of the rescan.
class DeferredLogSync {
public:
    DeferredLogSync();
    ~DeferredLogSync();
    DeferredLogSync(const DeferredLogSync&) = delete;
    DeferredLogSync& operator=(const DeferredLogSync&) = delete;
};

#define TW_LOG(level, ...) LogPrintf((level), __FILE__, __LINE__, __VA_ARGS__)
#define TW_TRACE_IN() TW_LOG(1, "%s()>>\n", __func__)
#define TW_TRACE_OUT() TW_LOG(1, "%s()<<\n", __func__)
