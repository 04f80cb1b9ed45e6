#include "application.h"

#include <algorithm>
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <memory>

#include "guarded.h"
#include "oslib/system_log.h"
#include "updates_window.h"

namespace fetchwick {

namespace {

constexpr const char* kApplicationId = "com.quenlar.Fetchwick";
constexpr const char* kNotificationId = "updates";
constexpr int kBusTimeoutMs = 5000;

struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};

class Fetchwick {
public:
    Fetchwick() : application_(gtk_application_new(kApplicationId, G_APPLICATION_HANDLES_COMMAND_LINE))
    {
        GApplication* application = G_APPLICATION(application_.get());
        g_signal_connect(application, "command-line", G_CALLBACK(OnCommandLine), this);
        static const GActionEntry actions[] = {{"show-updates", OnShowUpdates, nullptr, nullptr, nullptr, {}}};
        g_action_map_add_action_entries(G_ACTION_MAP(application), actions, G_N_ELEMENTS(actions), this);
        signals_[0] = g_unix_signal_add(SIGTERM, OnStop, this);
        signals_[1] = g_unix_signal_add(SIGINT, OnStop, this);
    }

    ~Fetchwick()
    {
        for (guint source : signals_) {
            g_source_remove(source);
        }
    }
    Fetchwick(const Fetchwick&) = delete;
    Fetchwick& operator=(const Fetchwick&) = delete;

    int Run(const char* program, const std::string& mode, const std::string& handOffPath)
    {
        const char* arguments[] = {program, mode.c_str(), handOffPath.c_str()};
        int status = g_application_run(G_APPLICATION(application_.get()), 3, const_cast<char**>(arguments));
        window_.reset();
        return status;
    }

private:
    // In the first instance, for its own launch and every later one: 0 when it offers the
    // file's updates, else 1.
    static int OnCommandLine(GApplication*, GApplicationCommandLine* commandLine, gpointer self)
    {
        return Guarded("reading the hand-off file", 1, [commandLine, self] {
            int count = 0;
            g_auto(GStrv) arguments = g_application_command_line_get_arguments(commandLine, &count);
            Mode mode = Mode::kFirmware;
            std::vector<Update> updates;
            if (count != 3 || !ParseMode(arguments[1], mode) || !ReadHandOffFile(arguments[2], mode, updates) ||
                updates.empty()) {
                oslib::SystemLog("no update to offer");
                return 1;
            }
            static_cast<Fetchwick*>(self)->Offer(updates);
            return 0;
        });
    }

    static void OnShowUpdates(GSimpleAction*, GVariant*, gpointer self)
    {
        Guarded("showing the window", [self] { static_cast<Fetchwick*>(self)->ShowWindow(); });
    }

    // Closes the window, which cancels its downloads, and ends.
    static gboolean OnStop(gpointer self)
    {
        auto* fetchwick = static_cast<Fetchwick*>(self);
        fetchwick->window_.reset();
        g_application_quit(G_APPLICATION(fetchwick->application_.get()));
        return G_SOURCE_CONTINUE;
    }

    // The window when it is open or no notification service answers; else one notification
    // for every update offered so far, which replaces the earlier one.
    void Offer(const std::vector<Update>& updates)
    {
        for (const Update& update : updates) {
            if (offered_.size() < kMaxUpdates && std::find(offered_.begin(), offered_.end(), update) == offered_.end()) {
                offered_.push_back(update);
            }
        }
        bool markup = false;
        if ((window_ && window_->IsOpen()) || !NotificationService(markup)) {
            ShowWindow();
            return;
        }
        std::string body;
        for (const Update& update : offered_) {
            std::string line = Describe(update);
            g_autofree gchar* escaped = markup ? g_markup_escape_text(line.c_str(), -1) : g_strdup(line.c_str());
            body += (body.empty() ? "" : "\n") + std::string(escaped);
        }
        g_autoptr(GNotification) notification = g_notification_new("Updates available");
        g_notification_set_body(notification, body.c_str());
        g_notification_set_default_action(notification, "app.show-updates");
        g_notification_add_button(notification, "Show", "app.show-updates");
        g_application_send_notification(G_APPLICATION(application_.get()), kNotificationId, notification);
        // Alive for the notification's action.
        if (!held_) {
            g_application_hold(G_APPLICATION(application_.get()));
            held_ = true;
        }
    }

    void ShowWindow()
    {
        if (!window_ || !window_->IsOpen()) {
            window_ = std::make_unique<UpdatesWindow>(application_.get());
        }
        window_->Add(offered_);
        window_->Present();
        g_application_withdraw_notification(G_APPLICATION(application_.get()), kNotificationId);
        // The window keeps the application now.
        if (held_) {
            g_application_release(G_APPLICATION(application_.get()));
            held_ = false;
        }
    }

    // Whether org.freedesktop.Notifications answers on the session bus (a service that the
    // bus can start counts), and whether it shows markup in a body.
    bool NotificationService(bool& markup) const
    {
        GDBusConnection* bus = g_application_get_dbus_connection(G_APPLICATION(application_.get()));
        if (bus == nullptr) {
            return false;
        }
        g_autoptr(GError) error = nullptr;
        g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
            bus, "org.freedesktop.Notifications", "/org/freedesktop/Notifications", "org.freedesktop.Notifications",
            "GetCapabilities", nullptr, G_VARIANT_TYPE("(as)"), G_DBUS_CALL_FLAGS_NONE, kBusTimeoutMs, nullptr, &error);
        if (reply == nullptr) {
            oslib::SystemLog("no notification service: %s", error->message);
            return false;
        }
        g_autoptr(GVariantIter) capabilities = nullptr;
        const gchar* capability = nullptr;
        g_variant_get(reply, "(as)", &capabilities);
        while (g_variant_iter_next(capabilities, "&s", &capability)) {
            markup = markup || g_strcmp0(capability, "body-markup") == 0;
        }
        return true;
    }

    std::unique_ptr<GtkApplication, ObjectUnref> application_;
    std::vector<Update> offered_;
    std::unique_ptr<UpdatesWindow> window_;
    bool held_ = false;
    guint signals_[2] = {};
};

} // namespace

int RunApplication(const char* program, const std::string& mode, const std::string& handOffPath)
{
    return Fetchwick().Run(program, mode, handOffPath);
}

} // namespace fetchwick
