// Whether the downloader's check interval has passed since the last device firmware check,
// and the agent's clock that it and the list's age are judged by.
#pragma once

// Milliseconds since the epoch; tests set their own before any thread starts. The
// device-change thread reads it when it stamps and checks "lastCheckDate".
extern double (*_clock)();

// True when "FwInterval" days have passed since "lastCheckDate", or either cannot be read.
bool HasPastIntervalValue();
