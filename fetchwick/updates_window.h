// The window that lists the updates: for each a Download button, its progress and cancel,
// then where the file went or why it did not; and the "check again after N days" setting.
#pragma once

#include <gtk/gtk.h>
#include <memory>
#include <vector>

#include "updates.h"

namespace fetchwick {

class UpdatesWindow {
public:
    explicit UpdatesWindow(GtkApplication* application);
    // Closes the window; its downloads are cancelled.
    ~UpdatesWindow();
    UpdatesWindow(const UpdatesWindow&) = delete;
    UpdatesWindow& operator=(const UpdatesWindow&) = delete;

    // Lists the updates that it does not list yet.
    void Add(const std::vector<Update>& updates);
    void Present();
    // False once the user has closed it.
    bool IsOpen() const { return window_ != nullptr; }

private:
    struct Row;

    static void OnDestroy(GtkWidget* window, gpointer self);
    static void OnIntervalChanged(GtkSpinButton* spin, gpointer self);
    GtkWidget* IntervalSetting();

    GtkWidget* window_;
    GtkWidget* list_;
    GtkWidget* intervalStatus_ = nullptr;
    std::vector<std::unique_ptr<Row>> rows_;
};

} // namespace fetchwick
