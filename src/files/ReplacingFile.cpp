#include "files/ReplacingFile.h"

#include <atomic>
#include <chrono>
#include <random>
#include <utility>

namespace kvfiles {

ReplacingFile::ReplacingFile(std::string path, Existing existing)
    : path_(std::move(path)), existing_(existing) {
    open();
}

ReplacingFile::~ReplacingFile() {
    discard();
}

void ReplacingFile::discard() {
    if (done_) return;
    done_ = true;
    closeAndRemove();
}

void ReplacingFile::fail(const std::string& reason) {
    if (error_.empty()) error_ = cannotWriteMessage(path_, reason);
    closeAndRemove();
}

std::string writeWholeFile(const std::string& path, std::string_view contents) {
    ReplacingFile file(path);
    file.write(contents);
    file.commit();
    return file.error();
}

std::string cannotWriteMessage(std::string_view path, std::string_view reason) {
    std::string out(path);
    out += ": cannot be written (";
    out += reason;
    out += ')';
    return out;
}

namespace detail {

std::string temporaryName(const std::string& target) {
    // Unpredictable enough that two writers of one file never pick the same name; the file is
    // created exclusively all the same.
    static std::atomic<std::uint64_t> counter{0};
    thread_local std::mt19937_64 random(
        std::random_device{}() ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::uint64_t bits = random() ^ (counter.fetch_add(1) * 0x9E3779B97F4A7C15ULL);
    std::string name = target + ".tmp-";
    for (int i = 0; i < 6; ++i, bits /= 36) name += kLetters[bits % 36];
    return name;
}

}  // namespace detail

}  // namespace kvfiles
