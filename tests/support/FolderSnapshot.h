// A file's bytes and a folder's whole contents: what a failed save must leave unchanged.
#pragma once

#include <filesystem>
#include <fstream>
#include <map>
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

}  // namespace kvtest
