#pragma once
// Launch at login through an XDG autostart entry: the file
// $XDG_CONFIG_HOME/autostart/io.tessarin.Tessarin.desktop starts the
// application when the user logs in. The entry is the only record: it is
// enabled when the file exists, names this application and is not switched
// off (Hidden=true, or X-GNOME-Autostart-enabled=false, which desktops
// write when the user turns an entry off in their own settings).

#include <filesystem>
#include <string>

#include "core/common/Expected.h"
#include "core/preferences/LoginItemService.h"

namespace tessarin {

class XdgAutostartLoginItem final : public LoginItemService {
public:
    static constexpr const char* entryName = "io.tessarin.Tessarin.desktop";

    // <folder>/io.tessarin.Tessarin.desktop, Exec=<program>, quoted the way
    // desktop entries quote arguments (spaces and reserved characters in
    // double quotes, '%' doubled).
    XdgAutostartLoginItem(std::filesystem::path folder, std::string program);

    // $XDG_CONFIG_HOME/autostart, or $HOME/.config/autostart when it is
    // unset, empty or relative.
    static Expected<std::filesystem::path, std::string> defaultFolder();

    bool isEnabled() override;
    // Writes the entry atomically (creating the folder), or removes it.
    // Failures are logged under "LoginItem".
    void setEnabled(bool enabled) override;

    // The entry's text, for tests and the package.
    static std::string entryText(const std::string& program);

private:
    std::filesystem::path folder_;
    std::string program_;
};

}  // namespace tessarin
