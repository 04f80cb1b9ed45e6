// Login items as XDG autostart entries of the user.
#pragma once

#include "platform.h"

namespace uninstaller {

// The "*.desktop" files in $XDG_CONFIG_HOME/autostart (default ~/.config/autostart), in
// file-name order; an entry's display names are its "Name" and "Name[...]" keys.
class XdgAutostart : public LoginItems {
public:
    std::vector<LoginItem> snapshot() override;
    void remove(const LoginItem& item) override;
};

} // namespace uninstaller
