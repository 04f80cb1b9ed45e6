// The restart request to systemd-logind on the system bus.
#pragma once

#include "platform.h"

namespace uninstaller {

// Sends Reboot(true) to org.freedesktop.login1 and waits for the reply: logind looks up
// the caller on the bus before it acts, so a caller that has gone is refused. An error
// reply or a time-out is kSendFailed, with the error's name and message (polkit's refusal
// reads "org.freedesktop.DBus.Error.AccessDenied"). DBUS_SYSTEM_BUS_ADDRESS chooses the
// bus (tests use a private one).
class LogindRestart : public SystemRestart {
public:
    Outcome request(RestartError& error) override;
};

} // namespace uninstaller
