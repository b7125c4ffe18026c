#include "core/common/Localization.h"

#include <mutex>
#include <utility>

namespace tessarin {
namespace {

std::mutex tableMutex;
LocalizationTable& activeTable() {
    static LocalizationTable table;
    return table;
}

}  // namespace

std::string localized(std::string_view text) {
    const std::lock_guard lock(tableMutex);
    const auto& table = activeTable();
    if (const auto it = table.find(text); it != table.end()) return it->second;
    return std::string(text);
}

LocalizationTable setLocalizationTable(LocalizationTable table) {
    const std::lock_guard lock(tableMutex);
    return std::exchange(activeTable(), std::move(table));
}

}  // namespace tessarin
