// The restart request to systemd-logind on the system bus.
#pragma once

#include "platform.h"

namespace uninstaller {

// Sends Reboot(true) to org.freedesktop.login1 without awaiting the reply; the message is
// flushed out before request returns, since an unsent one would be dropped at exit.
// DBUS_SYSTEM_BUS_ADDRESS chooses the bus (tests use a private one).
class LogindRestart : public SystemRestart {
public:
    Outcome request(int& error) override;
};

} // namespace uninstaller
