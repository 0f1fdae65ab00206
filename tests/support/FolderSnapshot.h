// A file's bytes and a folder's whole contents (what a failed save must leave unchanged), and a
// fresh folder for one test to write in.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>

namespace kvtest {

inline std::string fileContents(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every entry under `folder` with its bytes (folders as "<folder>").
inline std::map<std::string, std::string> folderSnapshot(const std::filesystem::path& folder) {
    std::map<std::string, std::string> out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
        out[e.path().lexically_relative(folder).string()] =
            e.is_directory() ? "<folder>" : fileContents(e.path());
    return out;
}

// An empty folder under the system's temporary folder, named for the running test
// ("PREFIX-TESTNAME-RANDOM"), removed with everything in it at the end.
class TestFolder {
public:
    explicit TestFolder(const std::string& prefix)
        : path_(std::filesystem::temp_directory_path() /
                (prefix + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                 "-" + std::to_string(std::random_device{}()))) {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TestFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace kvtest
