// Alerts as GTK 3 modal message dialogs. GTK must be initialised first.
#pragma once

#include "platform.h"

namespace uninstaller {

class GtkAlerts : public Alerts {
public:
    // Every dialog carries `title` in its title bar.
    explicit GtkAlerts(std::string title) : title_(std::move(title)) {}
    // Buttons answer 1000, 1001, ... in order; the first is the default. Closing the
    // dialog otherwise answers a negative GTK response.
    int runModal(const Alert& alert) override;

private:
    std::string title_;
};

} // namespace uninstaller
