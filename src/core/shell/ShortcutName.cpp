#include "core/shell/ShortcutName.h"
