#include "gtk_alerts.h"

#include <gtk/gtk.h>

namespace uninstaller {

int GtkAlerts::runModal(const Alert& alert)
{
    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING, GTK_BUTTONS_NONE,
                                               "%s", alert.messageText.c_str());
    if (!alert.informativeText.empty()) {
        gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", alert.informativeText.c_str());
    }
    gtk_window_set_title(GTK_WINDOW(dialog), title_.c_str());
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    int answer = kAlertFirstButtonReturn;
    for (const std::string& label : alert.buttons) {
        gtk_dialog_add_button(GTK_DIALOG(dialog), label.c_str(), answer++);
    }
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), kAlertFirstButtonReturn);
    if (GtkWidget* first = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), kAlertFirstButtonReturn)) {
        gtk_style_context_add_class(gtk_widget_get_style_context(first), GTK_STYLE_CLASS_SUGGESTED_ACTION);
    }

    int response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    // Let the dialog vanish from the screen before the caller goes on with long work.
    while (gtk_events_pending()) {
        gtk_main_iteration();
    }
    return response;
}

} // namespace uninstaller
