#pragma once
// GSettingsLookup over GIO: the schemas installed on this system (or those
// in $GSETTINGS_SCHEMA_DIR) through the backend GIO picks ($GSETTINGS_BACKEND
// =keyfile in tests). A schema that is not installed is reported as such
// instead of aborting, as g_settings_new() would.

#include "platform/GSettingsRead.h"

namespace tessarin {

GSettingsLookup gioSettingsLookup();

}  // namespace tessarin
