#include "updates_window.h"

#include <algorithm>

#include "application.h"
#include "download_folder.h"
#include "guarded.h"
#include "oslib/fetchwick_preferences.h"
#include "package_download.h"

namespace fetchwick {

namespace {

constexpr int kMaxIntervalDays = 365;

GtkWidget* WrappedLabel(const std::string& text)
{
    GtkWidget* label = gtk_label_new(text.c_str());
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    return label;
}

std::string Size(curl_off_t bytes)
{
    g_autofree gchar* text = g_format_size(static_cast<guint64>(bytes));
    return text;
}

} // namespace

// One update's widgets and download. Owned by the window; its widgets go with the window's.
struct UpdatesWindow::Row {
    Update update;
    GtkWidget* box;
    GtkWidget* download;
    GtkWidget* cancel;
    GtkWidget* progress;
    GtkWidget* status;
    GtkWidget* openFolder;
    std::string folder;  // where the last download went
    std::unique_ptr<PackageDownload> transfer;

    explicit Row(const Update& offered) : update(offered)
    {
        std::string text = Describe(update);
        box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
        // A screen reader names the group of widgets after its update.
        atk_object_set_name(gtk_widget_get_accessible(box), text.c_str());
        GtkWidget* line = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
        GtkWidget* label = WrappedLabel(text);
        gtk_widget_set_hexpand(label, TRUE);
        download = gtk_button_new_with_label("Download");
        cancel = gtk_button_new_with_label("Cancel");
        gtk_box_pack_start(GTK_BOX(line), label, TRUE, TRUE, 0);
        gtk_box_pack_start(GTK_BOX(line), download, FALSE, FALSE, 0);
        gtk_box_pack_start(GTK_BOX(line), cancel, FALSE, FALSE, 0);
        progress = gtk_progress_bar_new();
        gtk_progress_bar_set_show_text(GTK_PROGRESS_BAR(progress), TRUE);
        GtkWidget* outcome = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
        status = WrappedLabel("");
        gtk_label_set_selectable(GTK_LABEL(status), TRUE);  // the path, to copy
        gtk_widget_set_hexpand(status, TRUE);
        openFolder = gtk_button_new_with_label("Open folder");
        gtk_box_pack_start(GTK_BOX(outcome), status, TRUE, TRUE, 0);
        gtk_box_pack_start(GTK_BOX(outcome), openFolder, FALSE, FALSE, 0);
        for (GtkWidget* part : {line, progress, outcome}) {
            gtk_box_pack_start(GTK_BOX(box), part, FALSE, FALSE, 0);
        }
        g_signal_connect(download, "clicked", G_CALLBACK(OnDownload), this);
        g_signal_connect(cancel, "clicked", G_CALLBACK(OnCancel), this);
        g_signal_connect(openFolder, "clicked", G_CALLBACK(OnOpenFolder), this);
        gtk_widget_show_all(box);
        Show(false, "");
    }

    // The widgets of a download under way, or of none with `outcome` said.
    void Show(bool downloading, const std::string& outcome)
    {
        gtk_widget_set_sensitive(download, !downloading);
        gtk_widget_set_visible(cancel, downloading);
        gtk_widget_set_visible(progress, downloading);
        gtk_label_set_text(GTK_LABEL(status), outcome.c_str());
        gtk_widget_set_visible(status, !outcome.empty());
        gtk_widget_set_visible(openFolder, !downloading && !folder.empty());
    }

    static void OnDownload(GtkButton*, gpointer self)
    {
        Guarded("starting a download", [row = static_cast<Row*>(self)] {
            row->folder.clear();
            gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(row->progress), 0);
            gtk_progress_bar_set_text(GTK_PROGRESS_BAR(row->progress), "Connecting");
            row->Show(true, "");
            row->transfer = std::make_unique<PackageDownload>(
                row->update.row.address, DownloadFolder(),
                [row](curl_off_t received, curl_off_t total) { row->Progress(received, total); },
                [row](const DownloadResult& result) { row->Finish(result); });
        });
    }

    static void OnCancel(GtkButton*, gpointer self)
    {
        if (auto& transfer = static_cast<Row*>(self)->transfer) {
            transfer->Cancel();
        }
    }

    // The folder, never the file: the package is installed by the device vendor's tool.
    static void OnOpenFolder(GtkButton*, gpointer self)
    {
        Guarded("opening the folder", [row = static_cast<Row*>(self)] {
            g_autofree gchar* uri = g_filename_to_uri(row->folder.c_str(), nullptr, nullptr);
            g_autoptr(GAppLaunchContext) context = g_app_launch_context_new();
            g_app_launch_context_unsetenv(context, kNotificationBackendVariable);
            g_autoptr(GError) error = nullptr;
            if (uri == nullptr || !g_app_info_launch_default_for_uri(uri, context, &error)) {
                std::string said = gtk_label_get_text(GTK_LABEL(row->status));
                row->Show(false, said + " The folder could not be opened" +
                                     (error ? ": " + std::string(error->message) : "."));
            }
        });
    }

    void Progress(curl_off_t received, curl_off_t total)
    {
        GtkProgressBar* bar = GTK_PROGRESS_BAR(progress);
        if (received == 0) {
            gtk_progress_bar_pulse(bar);
            return;
        }
        std::string text = total > 0 ? Size(received) + " of " + Size(total) : Size(received);
        gtk_progress_bar_set_text(bar, text.c_str());
        if (total > 0) {
            gtk_progress_bar_set_fraction(bar, std::min(1.0, static_cast<double>(received) / total));
        } else {
            gtk_progress_bar_pulse(bar);
        }
    }

    void Finish(const DownloadResult& result)
    {
        transfer.reset();
        if (!result.path.empty()) {
            folder = result.path.substr(0, result.path.rfind('/'));
            Show(false, "Saved as " + result.path +
                            ". Fetchwick does not open it: the device vendor's tool installs it.");
        } else if (result.cancelled) {
            Show(false, "Download cancelled; nothing was saved.");
        } else {
            Show(false, "Download failed: " + result.reason + ".");
        }
    }
};

UpdatesWindow::UpdatesWindow(GtkApplication* application) : window_(gtk_application_window_new(application))
{
    gtk_window_set_title(GTK_WINDOW(window_), "Fetchwick");
    gtk_window_set_default_size(GTK_WINDOW(window_), 560, -1);
    GtkWidget* content = gtk_box_new(GTK_ORIENTATION_VERTICAL, 18);
    gtk_container_set_border_width(GTK_CONTAINER(content), 18);
    list_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 18);
    gtk_box_pack_start(GTK_BOX(content), list_, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(content),
                       WrappedLabel("Downloads go to your download folder. Fetchwick never opens or runs them: "
                                    "the device vendor's tool installs them."),
                       FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(content), IntervalSetting(), FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window_), content);
    g_signal_connect(window_, "destroy", G_CALLBACK(OnDestroy), this);
    gtk_widget_show_all(content);
}

UpdatesWindow::~UpdatesWindow()
{
    if (window_ != nullptr) {
        gtk_widget_destroy(window_);
    }
}

void UpdatesWindow::OnDestroy(GtkWidget*, gpointer self)
{
    auto* window = static_cast<UpdatesWindow*>(self);
    window->window_ = nullptr;
    for (const auto& row : window->rows_) {
        row->transfer.reset();
    }
}

GtkWidget* UpdatesWindow::IntervalSetting()
{
    uint32_t days = 0;
    ReadInterval(days);
    GtkWidget* setting = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    GtkWidget* before = gtk_label_new("Check again after");
    GtkWidget* spin = gtk_spin_button_new_with_range(0, kMaxIntervalDays, 1);
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(spin), std::min<uint32_t>(days, kMaxIntervalDays));
    gtk_label_set_mnemonic_widget(GTK_LABEL(before), spin);
    atk_object_set_name(gtk_widget_get_accessible(spin), "Check again after, in days");
    intervalStatus_ = WrappedLabel("");
    for (GtkWidget* part : {before, spin, gtk_label_new("days"), intervalStatus_}) {
        gtk_box_pack_start(GTK_BOX(setting), part, FALSE, FALSE, 0);
    }
    g_signal_connect(spin, "value-changed", G_CALLBACK(OnIntervalChanged), this);
    return setting;
}

void UpdatesWindow::OnIntervalChanged(GtkSpinButton* spin, gpointer self)
{
    Guarded("saving the interval", [spin, self] {
        auto days = static_cast<uint64_t>(gtk_spin_button_get_value_as_int(spin));
        std::string said = MergeIntoPreferences({{kIntervalKey, days}})
                               ? ""
                               : "The setting could not be saved in " + PreferencesPath() + ".";
        gtk_label_set_text(GTK_LABEL(static_cast<UpdatesWindow*>(self)->intervalStatus_), said.c_str());
    });
}

void UpdatesWindow::Add(const std::vector<Update>& updates)
{
    for (const Update& update : updates) {
        if (std::none_of(rows_.begin(), rows_.end(), [&update](const auto& row) { return row->update == update; })) {
            rows_.push_back(std::make_unique<Row>(update));
            gtk_box_pack_start(GTK_BOX(list_), rows_.back()->box, FALSE, FALSE, 0);
        }
    }
}

void UpdatesWindow::Present() { gtk_window_present(GTK_WINDOW(window_)); }

} // namespace fetchwick
