#include "utility.h"

#include "bundle.h"

namespace uninstaller {

void Utility::setupSimpleLabel(GtkEntry* field)
{
    gtk_entry_set_has_frame(field, FALSE);
    gtk_editable_set_editable(GTK_EDITABLE(field), FALSE);
    gtk_widget_set_can_focus(GTK_WIDGET(field), FALSE);
    gtk_entry_set_alignment(field, 0.0f);

    GtkCssProvider* css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(css, "entry { background: transparent; border: none; box-shadow: none; }", -1,
                                    nullptr);
    gtk_style_context_add_provider(gtk_widget_get_style_context(GTK_WIDGET(field)), GTK_STYLE_PROVIDER(css),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(css);
}

std::string Utility::getLocalizedString(const std::string& key, const char* comment)
{
    const Bundle& main = MainBundle();
    std::string text = main.localizedString(key, "");
    if (text != key) {
        return text;
    }
    std::optional<std::string> region = main.infoString("CFBundleDevelopmentRegion");
    std::optional<std::string> folder = region ? main.pathForResource(*region, "lproj") : std::nullopt;
    const std::string value = comment != nullptr ? comment : "";
    return folder ? Bundle(*folder).localizedString(key, value) : main.localizedString(key, value);
}

} // namespace uninstaller
