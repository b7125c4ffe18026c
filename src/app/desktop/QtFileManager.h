#pragma once
// The file manager reached from the desktop module: ShowItems of
// org.freedesktop.FileManager1 on the session bus (asynchronous; an error
// reply or no answer within a few seconds counts as "not shown"), and
// xdg-open for a folder.

#include "core/history/FileManagerReveal.h"

namespace tessarin {

class QtFileManager final : public FileManagerPort {
public:
    void showItems(const std::vector<std::string>& uris, Completion<bool> done) override;
    bool openFolder(const std::string& uri) override;
};

}  // namespace tessarin
