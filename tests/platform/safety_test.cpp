// The guards the engine and the tools write through: names from game data,
// links planted in game folders, signals, and the debugger's socket path.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "base/game_names.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/unix_socket.h"
#include "tests/support/temp_dir.h"

using testing_support::TempDir;
namespace fs = std::filesystem;

namespace {

TEST(GameNames, ComponentsThatLeaveTheFolderAreRefused) {
  for (const char* ok : {"savedata\\a.sav", "Maker\\Series", "a/b", "x..y", "..a", "\x83\x5c.dat",
                         "\x83\x5c\\..x"})
    EXPECT_EQ(base::unsafe_name_reason(ok), nullptr) << ok;
  for (const char* bad : {"..", ".", "a\\..", "..\\a", "a\\.\\b", "a\\\\b", "a\\", "\\a", "/a", "C:x", ""})
    EXPECT_NE(base::unsafe_name_reason(bad), nullptr) << bad;
  EXPECT_NE(base::unsafe_name_reason(std::string_view("a\0b", 3)), nullptr);
  // 0x815C is one character: its second byte is no separator, so no ".." appears.
  EXPECT_EQ(base::unsafe_name_reason("\x81\x5c.."), nullptr);
  EXPECT_NE(base::unsafe_name_reason("\x81\x5c\\.."), nullptr);
  EXPECT_EQ(base::name_components("\x83\x5c\\b").size(), 2u);
  EXPECT_NE(base::unsafe_file_name_reason("a\\b"), nullptr);
  EXPECT_EQ(base::unsafe_file_name_reason("Capture_"), nullptr);
}

TEST(WriteGuards, LinksLeadingOutOfTheRootAreNoticed) {
  TempDir root, outside;
  root.make_dir("real");
  ASSERT_EQ(symlink(outside.path().c_str(), (root / "out").c_str()), 0);
  ASSERT_EQ(symlink("real", (root / "in").c_str()), 0);
  EXPECT_TRUE(plat::native_path_within(root / "real/new/file", root.path()));
  EXPECT_TRUE(plat::native_path_within(root / "in/file", root.path()));
  EXPECT_FALSE(plat::native_path_within(root / "out/file", root.path()));
  EXPECT_FALSE(plat::native_path_within(root / "missing/../../x", root.path()));
  EXPECT_FALSE(plat::make_directories_within(root / "out/deeper", root.path()));
  EXPECT_EQ(errno, EXDEV);
  EXPECT_FALSE(fs::exists(outside / "deeper"));
  EXPECT_TRUE(plat::make_directories_within(root / "in/deeper", root.path()));
  EXPECT_TRUE(fs::is_directory(root / "real/deeper"));
}

TEST(WriteGuards, WritesNeverFollowAFinalLink) {
  TempDir dir;
  dir.write("target", "keep");
  ASSERT_EQ(symlink((dir / "target").c_str(), (dir / "link").c_str()), 0);
  for (const char* mode : {"ab", "wb", "r+b"}) {
    EXPECT_FALSE(plat::File::open(dir / "link", mode)) << mode;
    EXPECT_EQ(errno, ELOOP) << mode;
  }
  EXPECT_TRUE(plat::File::open(dir / "link", "rb")) << "reading through a link is fine";
  EXPECT_FALSE(plat::File::open(dir.path(), "rb")) << "a folder is not a file";
  // The atomic writer replaces the link itself.
  EXPECT_TRUE(plat::write_file_atomic(dir / "link", std::string_view("new")));
  EXPECT_EQ(dir.read("target"), "keep");
  EXPECT_FALSE(fs::is_symlink(dir / "link"));
  EXPECT_EQ(dir.read("link"), "new");
}

TEST(WriteGuards, BareRelativeNamesAreWrittenInTheWorkingFolder) {
  TempDir dir;
  const fs::path before = fs::current_path();
  fs::current_path(dir.path());
  bool written = plat::write_file_atomic("bare.txt", std::string_view("x"));
  bool made = plat::make_directories("sub");
  fs::current_path(before);
  EXPECT_TRUE(written);
  EXPECT_TRUE(made);
  EXPECT_EQ(dir.read("bare.txt"), "x");
  EXPECT_TRUE(fs::is_directory(dir / "sub"));
  size_t entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, 2u) << "no temporary file left";
}

TEST(WriteGuards, ListingReportsAFolderItCannotRead) {
  TempDir dir;
  dir.write("file", "x");
  bool failed = false;
  EXPECT_TRUE(plat::list_directory(dir / "file", &failed).empty());
  EXPECT_TRUE(failed);
  plat::list_directory(dir.path(), &failed);
  EXPECT_FALSE(failed);
}

// In a child process: what the handlers do to it is the point.
int in_child(void (*body)()) {
  pid_t pid = fork();
  if (pid == 0) {
    body();
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

TempDir* g_dir = nullptr;

TEST(TerminationSignals, FirstAsksSecondEndsRemovingTemporaryFiles) {
  TempDir dir;
  g_dir = &dir;
  int code = in_child([] {
    plat::install_termination_handlers();
    plat::AtomicWriter w;
    if (!w.open(*g_dir / "big.dat") || !w.write("x", 1)) _exit(10);
    raise(SIGTERM);
    if (!plat::termination_requested()) _exit(11);  // the first one only asks
    raise(SIGHUP);
    _exit(12);
  });
  EXPECT_EQ(code, 128 + SIGHUP);
  EXPECT_TRUE(fs::is_empty(dir.path())) << "the temporary file of the unfinished write is gone";

  // The tools end at the first signal, also without their temporary files.
  code = in_child([] {
    plat::remove_temporary_files_on_signal();
    plat::AtomicWriter a, b;
    if (!a.open(*g_dir / "a.arc") || !b.open(*g_dir / "b.arc") || !a.commit()) _exit(10);
    raise(SIGINT);
    _exit(12);
  });
  EXPECT_EQ(code, 128 + SIGINT);
  EXPECT_TRUE(fs::exists(dir / "a.arc")) << "a finished file stays";
  size_t entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, 1u);
  g_dir = nullptr;
}

TEST(DebuggerSocket, OnlyAStaleSocketIsReplaced) {
  TempDir dir;
  dir.write("notes.txt", "mine");
  std::string error;
  EXPECT_FALSE(plat::UnixSocket::listen(dir / "notes.txt", &error).valid());
  EXPECT_NE(error.find("not a socket"), std::string::npos) << error;
  EXPECT_EQ(dir.read("notes.txt"), "mine");

  // A socket nobody listens at any more is replaced.
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::string path = dir / "stale.sock";
  std::strcpy(addr.sun_path, path.c_str());
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  close(fd);
  plat::UnixSocket live = plat::UnixSocket::listen(path, &error);
  EXPECT_TRUE(live.valid()) << error;
  // One somebody listens at is in use.
  EXPECT_FALSE(plat::UnixSocket::listen(path, &error).valid());
  EXPECT_NE(error.find("listens there"), std::string::npos) << error;
  EXPECT_TRUE(live.valid());
}

}  // namespace
