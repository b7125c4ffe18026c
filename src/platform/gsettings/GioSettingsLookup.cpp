#include "platform/gsettings/GioSettingsLookup.h"

#include <gio/gio.h>

#include <memory>
#include <string>

namespace tessarin {
namespace {

struct SchemaUnref {
    void operator()(GSettingsSchema* schema) const { g_settings_schema_unref(schema); }
};
struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct VariantUnref {
    void operator()(GVariant* variant) const { g_variant_unref(variant); }
};

GSettingsRead readKey(std::string_view schemaName, std::string_view key) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();  // not owned
    if (!source) return {GSettingsRead::Kind::noSchema, {}};
    const std::string schemaId(schemaName);
    const std::unique_ptr<GSettingsSchema, SchemaUnref> schema(g_settings_schema_source_lookup(source, schemaId.c_str(), TRUE));
    if (!schema) return {GSettingsRead::Kind::noSchema, {}};
    const std::string keyName(key);
    if (!g_settings_schema_has_key(schema.get(), keyName.c_str())) return {GSettingsRead::Kind::noKey, {}};
    const std::unique_ptr<GSettings, ObjectUnref> settings(g_settings_new_full(schema.get(), nullptr, nullptr));
    if (!settings) return {GSettingsRead::Kind::unreadable, {}};
    const std::unique_ptr<GVariant, VariantUnref> value(g_settings_get_value(settings.get(), keyName.c_str()));
    if (!value) return {GSettingsRead::Kind::unreadable, {}};
    GSettingsRead read{GSettingsRead::Kind::strings, {}};
    if (g_variant_is_of_type(value.get(), G_VARIANT_TYPE_STRING)) {
        read.strings.emplace_back(g_variant_get_string(value.get(), nullptr));
        return read;
    }
    if (!g_variant_is_of_type(value.get(), G_VARIANT_TYPE_STRING_ARRAY)) return {GSettingsRead::Kind::unreadable, {}};
    gsize count = 0;
    const std::unique_ptr<const gchar*, decltype(&g_free)> strings(g_variant_get_strv(value.get(), &count), &g_free);
    for (gsize i = 0; i < count; ++i) read.strings.emplace_back(strings.get()[i]);
    return read;
}

}  // namespace

GSettingsLookup gioSettingsLookup() { return readKey; }

}  // namespace tessarin
