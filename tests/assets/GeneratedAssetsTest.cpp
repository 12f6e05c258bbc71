// The committed binary assets: the generator still produces them byte for byte. What
// they hold is checked where they are used (the logo and the state block by the window
// and robustness tests, the state block's layout by its reader's tests).

#include "AssetFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <unistd.h>

using namespace assets_test;

namespace {

TEST(GeneratedAssets, GeneratorReproducesEveryCommittedFile)
{
    auto dir = std::filesystem::temp_directory_path() / ("frolix-assets-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::string command = std::string("\"") + FROLIX_MAKE_ASSETS + "\" \"" + dir.string() + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    const std::pair<const char*, std::filesystem::path> files[] = {
        { "sky.bmp", sourceDir() / "assets" / "sky.bmp" },
        { "logo.gif", sourceDir() / "assets" / "logo.gif" },
        { "frolix.ico", sourceDir() / "assets" / "frolix.ico" },
        { "frolix-viewer.desktop", sourceDir() / "assets" / "frolix-viewer.desktop" },
        { "frolix-viewer-16.png", sourceDir() / "assets" / "frolix-viewer-16.png" },
        { "frolix-viewer-32.png", sourceDir() / "assets" / "frolix-viewer-32.png" },
        { "frolix-viewer-48.png", sourceDir() / "assets" / "frolix-viewer-48.png" },
        { "frolix-viewer-64.png", sourceDir() / "assets" / "frolix-viewer-64.png" },
        { "frolix-viewer-128.png", sourceDir() / "assets" / "frolix-viewer-128.png" },
        { "frolix-viewer-256.png", sourceDir() / "assets" / "frolix-viewer-256.png" },
        { "Frolix1.state", sourceDir() / "window" / "Frolix1.state" },
    };
    for (const auto& [name, committed] : files) {
        auto made = readFile(dir / name);
        auto stored = readFile(committed);
        ASSERT_FALSE(stored.empty()) << committed;
        EXPECT_EQ(made.size(), stored.size()) << name;
        auto mismatch = std::mismatch(made.begin(), made.end(), stored.begin(), stored.end());
        EXPECT_TRUE(mismatch.first == made.end() && mismatch.second == stored.end())
            << name << " first differs at offset " << (mismatch.first - made.begin());
    }
    std::filesystem::remove_all(dir);
}

} // namespace
