#include "platform/LoadableModule.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <vector>

namespace tessarin {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> searchFolders() {
    std::vector<fs::path> folders;
    if (const char* dir = std::getenv("TESSARIN_MODULE_DIR"); dir && *dir) folders.emplace_back(dir);
    std::error_code error;
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    if (!error) {
        folders.push_back(executable.parent_path());
        folders.push_back(executable.parent_path().parent_path() / "lib" / "tessarin");
    }
    return folders;
}

Expected<void*, std::string> openModule(const std::string& name) {
    const std::string file = "libtessarin-" + name + ".so";
    std::string tried;
    for (const auto& folder : searchFolders()) {
        const fs::path candidate = folder / file;
        std::error_code error;
        if (!fs::exists(candidate, error)) {
            tried += (tried.empty() ? "" : ", ") + folder.string();
            continue;
        }
        // RTLD_NODELETE: engines keep static state (models, font caches)
        // whose destructors must not run after the module's code is gone.
        if (void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)) return handle;
        const char* why = dlerror();
        return unexpected("cannot load " + candidate.string() + ": " + (why ? why : "unknown error"));
    }
    return unexpected("the " + name + " module (" + file + ") is not installed; looked in " +
                      (tried.empty() ? std::string("no folder") : tried));
}

}  // namespace

Expected<void*, std::string> loadModuleSymbol(std::string_view name, const char* symbol) {
    static std::mutex mutex;
    static std::map<std::string, void*, std::less<>> handles;
    std::lock_guard lock(mutex);
    auto found = handles.find(name);
    if (found == handles.end()) {
        auto handle = openModule(std::string(name));
        if (!handle) return unexpected(handle.error());
        found = handles.emplace(std::string(name), *handle).first;
    }
    dlerror();
    void* address = dlsym(found->second, symbol);
    if (!address) return unexpected("the " + std::string(name) + " module has no entry point " + symbol);
    return address;
}

}  // namespace tessarin
