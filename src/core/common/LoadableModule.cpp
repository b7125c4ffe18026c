#include "core/common/LoadableModule.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <vector>

#include "core/common/AppInfo.h"

namespace tessarin {

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> searchFolders() {
    std::vector<fs::path> folders;
    if (const char* dir = std::getenv("TESSARIN_MODULE_DIR"); dir && *dir) folders.emplace_back(dir);
    std::error_code error;
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    if (!error) {
        folders.push_back(executable.parent_path());
        folders.push_back(executable.parent_path().parent_path() / AppInfo::moduleFolder);
    }
    return folders;
}

Expected<void*, std::string> openModuleFile(const fs::path& file) {
    // RTLD_NODELETE: engines keep static state (models, font caches) whose
    // destructors must not run after the module's code is gone.
    if (void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)) return handle;
    const char* why = dlerror();
    return unexpected("cannot load " + file.string() + ": " + (why ? why : "unknown error"));
}

Expected<void*, std::string> symbolIn(void* handle, const std::string& module, const char* symbol) {
    dlerror();
    void* address = dlsym(handle, symbol);
    if (!address) return unexpected("the " + module + " module has no entry point " + symbol);
    return address;
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
        return openModuleFile(candidate);
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
    return symbolIn(found->second, std::string(name), symbol);
}

Expected<void*, std::string> loadModuleSymbolFromFile(const fs::path& file, const char* symbol) {
    std::error_code error;
    if (!fs::exists(file, error)) return unexpected("the module " + file.string() + " is not installed");
    auto handle = openModuleFile(file);
    if (!handle) return unexpected(handle.error());
    return symbolIn(*handle, file.filename().string(), symbol);
}

}  // namespace tessarin
