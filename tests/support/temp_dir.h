// A fresh folder for each test, removed after it.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

struct temp_dir_test : ::testing::Test {
    std::filesystem::path dir;

    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("tbx_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_suite()->name() + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::permissions(dir, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(dir, ec);
    }
    // Keeps the per-user settings file of the code under test inside the folder.
    void use_config_home(const std::filesystem::path& p) { ::setenv("XDG_CONFIG_HOME", p.c_str(), 1); }
};
