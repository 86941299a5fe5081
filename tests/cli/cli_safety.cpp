// What voved may never do to the files it is given: write over an input or
// over another output of the same run, leave a half-written or temporary
// file behind (even when interrupted), or change what it replaces beyond its
// content (mode, symbolic links).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "cli_support.h"

namespace voved::tool {
namespace {

namespace fs = std::filesystem;
using testing::MakeScene;
using testing::ReadBytes;
using testing::RunVoved;
using testing::ScratchDir;
using testing::WritePicture;

// Every file under `dir` with its bytes.
std::map<std::string, std::vector<uint8_t>> Snapshot(const std::string& dir) {
    std::map<std::string, std::vector<uint8_t>> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (entry.is_regular_file()) {
            files[entry.path().string()] = ReadBytes(entry.path().string());
        }
    }
    return files;
}

TEST(OutputGuard, RefusesBeforeAnyWorkWhatWouldReplaceAnInputOrAnotherOutput) {
    ScratchDir dir;
    WritePicture(dir.Path("p.png"), MakeScene(48, 32, ColourKind::Rgb, 20, -20), ColourKind::Rgb);
    fs::create_directories(dir.Path("sub"));
    fs::create_directories(dir.Path("done"));
    WritePicture(dir.Path("sub/p.png"), MakeScene(48, 32, ColourKind::Rgb, -20, 20),
                 ColourKind::Rgb);
    WritePicture(dir.Path("done/p.png"), MakeScene(48, 32, ColourKind::Rgb, 0, 0), ColourKind::Rgb);
    testing::WriteBytes(dir.Path("t.json"), {'{', '}'});
    ASSERT_EQ(symlink("p.png", dir.Path("link.png").c_str()), 0);
    ASSERT_EQ(symlink("p.png", dir.Path("link.svg").c_str()), 0);
    const std::string p = dir.Path("p.png");
    const std::string sub = dir.Path("sub/p.png");
    const struct {
        std::vector<std::string> args;
        const char* reason;
    } cases[] = {
        {{"correct", p, "-o", dir.Path("out.png"), "--side-by-side", p}, "is an input"},
        {{"correct", p, "-o", dir.Path("sub/../p.png")}, "is an input"},
        {{"correct", p, "-o", dir.Path("link.png")}, "is an input"},
        {{"correct", p, sub, "-d", dir.Path("o")}, "already written by this command"},
        {{"correct", p, "-d", dir.Path("done")}, "exists"},
        {{"correct", p, "-o", "-", "--side-by-side", "-"}, "cannot both go to standard output"},
        {{"convert", p, dir.Path("b.png"), "--side-by-side", dir.Path("b.png")},
         "already written by this command"},
        {{"convert", p, dir.Path("link.png"), "--sharpen", "0"}, "is an input"},
        {{"analyse", p, "--plot", dir.Path("link.svg")}, "is an input"},
        {{"tone-table", "compile", dir.Path("t.json"), dir.Path("t.json")}, "is an input"},
    };
    const auto before = Snapshot(dir.Path());
    for (const auto& c : cases) {
        const auto run = RunVoved(c.args);
        SCOPED_TRACE(c.args[0] + " " + c.args.back());
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(Snapshot(dir.Path()), before);
    }
}

TEST(OutputGuard, InPlaceKeepsModeAndLinksAndDirectoriesAreMadeWithParents) {
    ScratchDir dir;
    WritePicture(dir.Path("p.png"), MakeScene(96, 64, ColourKind::Rgb, 30, -30), ColourKind::Rgb);
    ASSERT_EQ(chmod(dir.Path("p.png").c_str(), 0640), 0);
    ASSERT_EQ(symlink("p.png", dir.Path("link.png").c_str()), 0);
    const struct timespec past[2] = {{946684800, 0}, {946684800, 0}};  // 2000-01-01
    ASSERT_EQ(utimensat(AT_FDCWD, dir.Path("p.png").c_str(), past, 0), 0);
    const auto original = ReadBytes(dir.Path("p.png"));

    const auto run = RunVoved({"correct", "--in-place", "--keep-times", dir.Path("link.png")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("colour corrected"), std::string::npos) << run.out;
    struct stat link {
    }, now{};
    ASSERT_EQ(lstat(dir.Path("link.png").c_str(), &link), 0);
    ASSERT_EQ(stat(dir.Path("p.png").c_str(), &now), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));
    EXPECT_EQ(now.st_mode & 07777, 0640u);
    EXPECT_EQ(now.st_mtim.tv_sec, past[1].tv_sec);
    EXPECT_NE(ReadBytes(dir.Path("p.png")), original);

    const auto deep = RunVoved({"correct", dir.Path("p.png"), "-d", dir.Path("new/sub/dir/")});
    ASSERT_EQ(deep.status, 0) << deep.err;
    EXPECT_NE(deep.out.find(dir.Path("new/sub/dir/p.png")), std::string::npos) << deep.out;
    EXPECT_TRUE(testing::Exists(dir.Path("new/sub/dir/p.png")));
    testing::WriteBytes(dir.Path("file"), {'x'});
    const auto blocked = RunVoved({"correct", dir.Path("p.png"), "-d", dir.Path("file/dir")});
    EXPECT_EQ(blocked.status, 1);
    EXPECT_NE(blocked.err.find("Not a directory"), std::string::npos) << blocked.err;
}

// The picture goes to the file, the side-by-side one to a pipe nobody
// reads: once the pipe is full the tool waits with its temporary file open,
// and is interrupted there.
TEST(OutputGuard, AnInterruptLeavesNoFileBehind) {
    for (const int signal : {SIGINT, SIGTERM}) {
        ScratchDir dir;
        WritePicture(dir.Path("p.ppm"), MakeScene(320, 240, ColourKind::Rgb, 20, -20),
                     ColourKind::Rgb);
        int pipe[2];
        ASSERT_EQ(::pipe(pipe), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipe[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        const std::string out = dir.Path("out.ppm");
        const std::string input = dir.Path("p.ppm");
        const char* argv[] = {VOVED_TOOL,  "correct",        input.c_str(), "-o",
                              out.c_str(), "--side-by-side", "-",           nullptr};
        pid_t pid = 0;
        ASSERT_EQ(
            posix_spawn(&pid, VOVED_TOOL, &actions, nullptr, const_cast<char**>(argv), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(pipe[1]);
        // Waits (at most ten seconds) for the temporary file to appear.
        bool started = false;
        for (int tries = 0; tries < 1000 && !started; ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            started = Snapshot(dir.Path()).size() > 1;
        }
        kill(pid, started ? signal : SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        close(pipe[0]);
        ASSERT_TRUE(started) << "no temporary file appeared";
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_EQ(Snapshot(dir.Path()).size(), 1u);
        EXPECT_FALSE(testing::Exists(out));
    }
}

}  // namespace
}  // namespace voved::tool
