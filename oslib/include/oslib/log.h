// The agent's log file: what every module writes through, in the file and on the system log.
#pragma once

#include <cstdint>
#include <string>

// "Tidewell.log" in the support folder, started afresh once it holds more than kLogCap bytes.
std::string LogFilePath();
constexpr long kLogCap = 0x100000;

// Only levels >= debugLevel are written. Fixed at 3; tests may lower it.
extern int32_t debugLevel;

void LogPrintf(uint32_t level, const char* sourcePath, int32_t line, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

// Forces the lines written so far to disk. A line is not synced as it is written: a sync
// costs a millisecond or more, and lines are written under the agent's _lock. The agent's
// main thread calls this at every tick and at exit, holding no lock.
void SyncLog();

#define TW_LOG(level, ...) LogPrintf((level), __FILE__, __LINE__, __VA_ARGS__)
#define TW_TRACE_IN() TW_LOG(1, "%s()>>\n", __func__)
#define TW_TRACE_OUT() TW_LOG(1, "%s()<<\n", __func__)
