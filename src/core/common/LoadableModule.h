#pragma once
// Engines with heavy library trees (text recognition, the Cairo/Pango
// renderer) are built as loadable modules, so that a command which does not
// use them does not pay for loading their libraries at start-up: linking
// Tesseract into the executable alone adds about 12 ms to every start.
//
// A module is libtessarin-<name>.so. It is looked for, in order, in
// $TESSARIN_MODULE_DIR, next to the executable (the build tree) and in
// <executable dir>/../lib/<multiarch>/tessarin (an installed tree: the
// configured AppInfo::moduleFolder under the prefix), so an installed tree
// works wherever it is unpacked. Once loaded it stays
// loaded for the life of the process.
//
// The program may link its own copy of libstdc++ (the build tree's does)
// and a module uses the shared one, so the two sides share the C library but not the C++ runtime. What
// crosses the boundary is therefore plain data (strings, vectors, images)
// whose memory ends in malloc and free, and calls through a module's own
// virtual functions; never an exception, a stream or a locale. Each entry
// point therefore runs its body behind runBehindModuleBarrier
// (ModuleBarrier.h), inside the module. A module also has its own copy of
// every global of the static libraries it links (the log sink, for one).

#include <filesystem>
#include <string>
#include <string_view>

#include "core/common/Expected.h"

namespace tessarin {

// The address of `symbol` in module `name`, or why it could not be found
// (naming the module and the places searched).
Expected<void*, std::string> loadModuleSymbol(std::string_view name, const char* symbol);

// The same for a module given by its file (tests, tools).
Expected<void*, std::string> loadModuleSymbolFromFile(const std::filesystem::path& file, const char* symbol);

template <class Function>
Expected<Function*, std::string> functionFrom(Expected<void*, std::string> address) {
    if (!address) return unexpected(address.error());
    return reinterpret_cast<Function*>(*address);
}

template <class Function>
Expected<Function*, std::string> loadModuleFunction(std::string_view name, const char* symbol) {
    return functionFrom<Function>(loadModuleSymbol(name, symbol));
}

}  // namespace tessarin
