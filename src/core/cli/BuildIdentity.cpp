#include "core/cli/BuildIdentity.h"

#include <elf.h>
#include <link.h>

#include <cstring>

namespace tessarin::BuildIdentity {
namespace {

int findMainProgramNote(dl_phdr_info* info, size_t, void* data) {
    auto* result = static_cast<std::optional<std::string>*>(data);
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& header = info->dlpi_phdr[i];
        if (header.p_type != PT_NOTE) continue;
        const auto* cursor = reinterpret_cast<const unsigned char*>(info->dlpi_addr + header.p_vaddr);
        const unsigned char* end = cursor + header.p_memsz;
        while (cursor + sizeof(ElfW(Nhdr)) <= end) {
            ElfW(Nhdr) note;
            std::memcpy(&note, cursor, sizeof note);
            const unsigned char* name = cursor + sizeof note;
            const unsigned char* desc = name + ((note.n_namesz + 3) & ~3u);
            const unsigned char* next = desc + ((note.n_descsz + 3) & ~3u);
            if (next > end) break;
            if (note.n_type == NT_GNU_BUILD_ID && note.n_namesz == 4 && std::memcmp(name, "GNU", 4) == 0) {
                static const char* const digits = "0123456789abcdef";
                std::string hex;
                for (size_t k = 0; k < note.n_descsz; ++k) {
                    hex += digits[desc[k] >> 4];
                    hex += digits[desc[k] & 15];
                }
                *result = hex;
                return 1;
            }
            cursor = next;
        }
    }
    return 1;  // only the first object, the main program, is of interest
}

}  // namespace

std::optional<std::string> buildID() {
    std::optional<std::string> result;
    dl_iterate_phdr(findMainProgramNote, &result);
    return result;
}

std::string signingDescription(const std::string& buildType, const std::optional<std::string>& id) {
    if (!id || id->empty()) return "unknown (build id unavailable)";
    if (buildType == "Release" || buildType == "RelWithDebInfo" || buildType == "MinSizeRel")
        return "release build, build id " + *id + " ✓";
    return "development build (" + (buildType.empty() ? std::string("unspecified") : buildType) + "), build id " + *id;
}

}  // namespace tessarin::BuildIdentity
