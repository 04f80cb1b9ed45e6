// The send gate's JSON reply, read apart from its transfer.
#pragma once

#include <string>

// True when the reply is a JSON object whose "measurement" is a number other than 0 once
// truncated; anything else reads as off. A reply that is not JSON at all leaves the
// parser's message in `error` (empty otherwise).
bool ReadMeasurementSwitch(const std::string& reply, std::string& error);
