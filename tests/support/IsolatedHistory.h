// Tests never write into the user's own history: every test process that includes this (and
// every kv480t or window it starts) keeps its history under a temporary folder of its own,
// XDG_DATA_HOME pointed there before main() runs, removed at exit.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace kvtest {

inline const std::filesystem::path& isolatedDataHome() {
    // Never destroyed: the removal at exit still needs it.
    static const std::filesystem::path* folder = [] {
        auto* path = new std::filesystem::path(std::filesystem::temp_directory_path() /
                                               ("kv480t-test-data-" + std::to_string(::getpid())));
        std::filesystem::create_directories(*path);
        ::setenv("XDG_DATA_HOME", path->c_str(), 1);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(isolatedDataHome(), ignored);
        });
        return path;
    }();
    return *folder;
}

// Before main(): in every test program that includes this header.
inline const bool kHistoryIsolated = !isolatedDataHome().empty();

}  // namespace kvtest
