// Files replaced whole on Windows, where a replaced file is often held open by another program
// (a spreadsheet showing the traffic log) or marked read-only.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FolderSnapshot.h"
#include "files/ReplacingFile.h"

namespace {

namespace fs = std::filesystem;

using kvtest::fileContents;
using kvtest::folderSnapshot;

std::string systemText(DWORD code) {
    char* text = nullptr;
    ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result = text ? text : "";
    if (text) ::LocalFree(text);
    while (!result.empty() && std::string("\r\n .").find(result.back()) != std::string::npos)
        result.pop_back();
    return result;
}

class ReplacedFilesOnWindows : public ::testing::Test {
protected:
    void TearDown() override {  // a read-only file would stay
        for (const auto& e : fs::recursive_directory_iterator(dir))
            ::SetFileAttributesA(e.path().string().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    kvtest::TestFolder folder{"kv480t-files"};
    const fs::path dir = folder.path();
};

TEST_F(ReplacedFilesOnWindows, AWrittenFileReplacesTheOldOneAndLeavesNothingElse) {
    const fs::path path = dir / "profile.kvp";
    std::ofstream(path, std::ios::binary) << "old";
    ASSERT_EQ(kvfiles::writeWholeFile(path.string(), "new\r\ncontents"), "");
    EXPECT_EQ(fileContents(path), "new\r\ncontents");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
    ASSERT_EQ(kvfiles::writeWholeFile((dir / "new.csv").string(), "a,b\r\n"), "");
    EXPECT_EQ(fileContents(dir / "new.csv"), "a,b\r\n");
}

TEST_F(ReplacedFilesOnWindows, AFailedWriteKeepsTheOldFileAndNamesTheCause) {
    constexpr DWORD kNotHeld = ~DWORD{0};
    const std::vector<DWORD> inUse = {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION};
    struct Failure {
        const char* name;
        DWORD share;    // the old file held open by another program with this sharing, or not
        bool readOnly;  // the old file is marked read-only
        bool folder;    // the destination is a folder holding a file
        std::vector<DWORD> errors;  // the system's reasons, either of which may be given
    };
    const Failure failures[] = {
        {"held open without sharing", 0, false, false, inUse},
        {"held open for reading only", FILE_SHARE_READ, false, false, inUse},
        {"read-only", kNotHeld, true, false, {ERROR_ACCESS_DENIED}},
        {"a folder in the way", kNotHeld, false, true, {ERROR_ACCESS_DENIED}},
    };
    for (const Failure& f : failures) {
        SCOPED_TRACE(f.name);
        const fs::path path = dir / (f.folder ? "folder" : "log.csv");
        if (f.folder) {
            fs::create_directory(path);
            std::ofstream(path / "inside") << "kept";
        } else {
            std::ofstream(path, std::ios::binary) << std::string("old\r\n\0\xff", 7);
        }
        if (f.readOnly) ::SetFileAttributesA(path.string().c_str(), FILE_ATTRIBUTE_READONLY);
        const auto before = folderSnapshot(dir);
        HANDLE held = INVALID_HANDLE_VALUE;
        if (f.share != kNotHeld) {
            held = ::CreateFileA(path.string().c_str(), GENERIC_READ, f.share, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            ASSERT_NE(held, INVALID_HANDLE_VALUE);
        }
        const std::string error = kvfiles::writeWholeFile(path.string(), std::string(4096, 'n'));
        if (held != INVALID_HANDLE_VALUE) ::CloseHandle(held);
        std::vector<std::string> expected;
        for (DWORD code : f.errors)
            expected.push_back(path.string() + ": cannot be written (" + systemText(code) + ")");
        EXPECT_NE(std::find(expected.begin(), expected.end(), error), expected.end())
            << "the message: " << error;
        EXPECT_EQ(folderSnapshot(dir), before) << "the old file changed or a temporary one stayed";
        ::SetFileAttributesA(path.string().c_str(), FILE_ATTRIBUTE_NORMAL);
        fs::remove_all(path);
    }
}

}  // namespace
