#include "core/common/LoadableModule.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace tessarin {
namespace {

TEST(LoadableModule, FindsAnEntryPointKeepsTheModuleLoadedAndExplainsWhatIsMissing) {
    setenv("TESSARIN_MODULE_DIR", TESSARIN_PROBE_MODULE_DIR, 1);
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto answer = loadModuleFunction<int()>("probe", "tessarin_probe_answer");
        ASSERT_TRUE(answer) << answer.error();
        EXPECT_EQ((*answer)(), 42);
    }
    auto missing = loadModuleSymbol("no-such-engine", "anything");
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().find("libtessarin-no-such-engine.so"), std::string::npos) << missing.error();
    EXPECT_NE(missing.error().find(TESSARIN_PROBE_MODULE_DIR), std::string::npos) << missing.error();
    auto noEntry = loadModuleSymbol("probe", "tessarin_not_there");
    ASSERT_FALSE(noEntry);
    EXPECT_EQ(noEntry.error(), "the probe module has no entry point tessarin_not_there");
    unsetenv("TESSARIN_MODULE_DIR");
}

}  // namespace
}  // namespace tessarin
