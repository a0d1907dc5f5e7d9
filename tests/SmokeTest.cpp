#include <gtest/gtest.h>

#include <filesystem>

TEST(Staging, ProgramFolderHoldsTheProgramAndItsFiles) {
    namespace fs = std::filesystem;
    const fs::path app = OSTREVAN_APP_DIR;
    EXPECT_TRUE(fs::is_regular_file(app / "ostrevan"));
    EXPECT_TRUE(fs::is_directory(app / "Language"));
}
