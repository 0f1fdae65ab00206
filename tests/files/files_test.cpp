// Files replaced whole or not at all: a failed write leaves the old file byte for byte and
// says why; a finished one takes the old file's place with its permissions. Every writer of
// files goes through kvfiles: profiles, the traffic page's Save... and kv480t's --log.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "FolderSnapshot.h"
#include "files/ReplacingFile.h"
#include "traffic/TrafficFormat.h"
#ifdef KV_TEST_PROFILES
#include "profile/Profile.h"
#endif

namespace {

namespace fs = std::filesystem;

using kvtest::fileContents;
using kvtest::folderSnapshot;

class ReplacedFiles : public ::testing::Test {
protected:
    kvtest::TestFolder folder{"kv480t-files"};
    const fs::path dir = folder.path();
};

// The files this tool writes, each as one call that gives "" or the message.
struct Writer {
    const char* name;
    std::function<std::string(const std::string& path)> write;
};
const Writer kWriters[] = {
    {"whole file",
     [](const std::string& path) { return kvfiles::writeWholeFile(path, std::string(4096, 'n')); }},
    {"traffic file",
     [](const std::string& path) {
         kvtraffic::FileWriter file(path);
         file.write(kvtraffic::Row{0, 5, kvtraffic::Kind::Rx, std::string(2048, 'r')});
         file.finish();
         return file.error();
     }},
#ifdef KV_TEST_PROFILES
    {"profile",
     [](const std::string& path) {
         kvprofile::Profile profile{"2026-12-08T10:15:00Z", std::string(300, 's'), "kv480t", {}};
         std::string error;
         kvprofile::writeProfileFile(path, profile, &error);
         return error;
     }},
#endif
};

// Failures every user meets, root included (tests here may run as root, whom a read-only
// folder does not stop).
TEST_F(ReplacedFiles, AFailedWriteKeepsTheOldFileAndNamesTheCause) {
    struct Failure {
        const char* name;
        std::string file;  // the destination, in the test's folder
        bool folder;       // the destination is a folder holding a file
        rlim_t sizeLimit;  // RLIMIT_FSIZE during the write (the disk full mid-file), or none
        int error;
    };
    const Failure failures[] = {
        {"file too large", "old.txt", false, 100, EFBIG},
        {"name too long for the temporary file", std::string(250, 'n'), false, RLIM_INFINITY,
         ENAMETOOLONG},
        {"a folder in the way", "folder", true, RLIM_INFINITY, EISDIR},
    };
    for (const Writer& writer : kWriters) {
        for (const Failure& f : failures) {
            SCOPED_TRACE(std::string(writer.name) + ": " + f.name);
            const fs::path path = dir / f.file;
            if (f.folder) {
                fs::create_directory(path);
                std::ofstream(path / "inside") << "kept";
            } else {
                std::ofstream(path, std::ios::binary) << std::string("old\r\n\0\xff", 7);
            }
            const auto before = folderSnapshot(dir);
            rlimit saved{};
            ::getrlimit(RLIMIT_FSIZE, &saved);
            // The limit's signal would end the program: the writer must turn it into EFBIG.
            const auto previous = ::signal(SIGXFSZ, SIG_DFL);
            rlimit limited = saved;
            limited.rlim_cur = std::min(f.sizeLimit, saved.rlim_max);
            ::setrlimit(RLIMIT_FSIZE, &limited);
            const std::string error = writer.write(path.string());
            ::setrlimit(RLIMIT_FSIZE, &saved);
            ::signal(SIGXFSZ, previous);
            EXPECT_EQ(error,
                      path.string() + ": cannot be written (" + std::strerror(f.error) + ")");
            EXPECT_EQ(folderSnapshot(dir), before)
                << "the old file changed or a temporary one stayed";
            fs::remove_all(path);
        }
    }
}

TEST_F(ReplacedFiles, AWrittenFileReplacesTheOldOneAndKeepsItsPermissions) {
    const fs::path target = dir / "target.txt";
    const fs::path link = dir / "link.txt";
    for (const Writer& writer : kWriters) {
        SCOPED_TRACE(writer.name);
        std::ofstream(target) << "old";
        ::chmod(target.c_str(), 0640);
        fs::create_symlink(target.filename(), link);
        ASSERT_EQ(writer.write(link.string()), "");
        EXPECT_TRUE(fs::is_symlink(link)) << "the link is kept, its file replaced";
        EXPECT_GT(fileContents(target).size(), 100u);
        struct stat st {};
        ASSERT_EQ(::stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0640u);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
        fs::remove(link);
        fs::remove(target);
        // A device is written, never replaced.
        EXPECT_EQ(writer.write("/dev/null"), "");
        EXPECT_TRUE(fs::is_character_file("/dev/null"));
    }
}

// kv480t --log: rows reach the temporary file as they come; the old log stays until the end.
TEST_F(ReplacedFiles, AStreamedLogReplacesTheOldOneWhenFinished) {
    const fs::path path = dir / "log.csv";
    std::ofstream(path) << "previous run";
    auto writer = std::make_unique<kvtraffic::FileWriter>(path.string());
    ASSERT_TRUE(writer->good()) << writer->error();
    writer->write(kvtraffic::Row{0, 1, kvtraffic::Kind::Tx, "PPPPPP#VAR#"});
    std::string partial;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().filename().string().starts_with("log.csv.tmp-"))
            partial = fileContents(e.path());
    EXPECT_EQ(partial,
              "time,ms since open,kind,length,data\r\n" +
                  kvtraffic::csvLine(kvtraffic::Row{0, 1, kvtraffic::Kind::Tx, "PPPPPP#VAR#"},
                                     kvtraffic::ByteView::Text) +
                  "\r\n")
        << "what a program that dies now leaves";
    EXPECT_EQ(fileContents(path), "previous run");
    writer.reset();  // the end of the run
    EXPECT_EQ(fileContents(path), partial);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

}  // namespace
