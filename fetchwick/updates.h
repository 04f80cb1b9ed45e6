// The updates the downloader offers: the hand-off file's rows that it accepts, and the
// sentence that names each one.
#pragma once

#include <string>
#include <vector>

#include "oslib/hand_off.h"

namespace fetchwick {

enum class Mode { kFirmware, kUpdater };

struct Update {
    Mode mode;
    HandOffRow row;

    bool operator==(const Update& other) const;
};

// The launch mode of `argument`, "-f " or "-m " with the trailing blank; false for anything else.
bool ParseMode(const std::string& argument, Mode& mode);

// A user has a few devices: rows past this many are left out, so that a crafted list
// cannot fill the screen or the notification.
constexpr size_t kMaxUpdates = 32;

// The rows of the hand-off file at `path` that can be fetched, in file order: well-formed,
// valid UTF-8, with an address that the agent passes on and that is https. Every other
// line but a blank one is skipped with a line in the system log. False when the file
// cannot be read.
bool ReadHandOffFile(const std::string& path, Mode mode, std::vector<Update>& updates);

// "Deck Unit 2: firmware 1.24 is available (installed 1.23)"; for the updater itself
// "Tidewell 1.02 is available".
std::string Describe(const Update& update);

} // namespace fetchwick
