// The text hook's writer: what a path from the settings file may name, and
// a socket reader that is slow or gone never holds the writer up.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/line_sink.h"
#include "platform/unix_socket.h"
#include "tests/support/temp_dir.h"

using plat::LineSink;
using testing_support::TempDir;

namespace {

TEST(LineSink, PathsFromTheSettingsFileAreChecked) {
  TempDir dir;
  dir.write("log.jsonl", "");
  ASSERT_EQ(::symlink((dir / "log.jsonl").c_str(), (dir / "link").c_str()), 0);
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  std::string why;
  const auto settings = LineSink::Origin::SettingsFile;
  EXPECT_EQ(LineSink::open("log.jsonl", settings, &why), nullptr);
  EXPECT_NE(why.find("absolute"), std::string::npos);
  EXPECT_EQ(LineSink::open(dir / "link", settings, &why), nullptr);
  EXPECT_EQ(LineSink::open(dir / "fifo", settings, &why), nullptr);
  EXPECT_EQ(LineSink::open("/dev/null", settings, &why), nullptr);
  EXPECT_EQ(LineSink::open(dir / "a\nb", settings, &why), nullptr);
  auto sink = LineSink::open(dir / "log.jsonl", settings, &why);
  ASSERT_NE(sink, nullptr) << why;
  EXPECT_TRUE(sink->write_line("{}"));
  EXPECT_EQ(dir.read("log.jsonl"), "{}\n");
  // From the command line a pipe is the player's choice, but one without a
  // reader is refused at once rather than waited on.
  EXPECT_EQ(LineSink::open(dir / "fifo", LineSink::Origin::CommandLine, &why), nullptr);
  EXPECT_NE(LineSink::open(dir / "link", LineSink::Origin::CommandLine, &why), nullptr);
}

TEST(LineSink, ASocketReaderThatLagsOrLeavesNeverBlocks) {
  TempDir dir;
  const std::string path = dir / "s";
  plat::UnixSocket listener = plat::UnixSocket::listen(path);
  ASSERT_TRUE(listener.valid());
  std::string why;
  auto sink = LineSink::open(path, LineSink::Origin::CommandLine, &why);
  ASSERT_NE(sink, nullptr) << why;
  ASSERT_TRUE(sink->is_socket());
  ASSERT_TRUE(sink->connected());
  plat::UnixSocket reader = listener.accept(1000);
  ASSERT_TRUE(reader.valid());
  // Nobody reads: once the buffers are full lines are dropped, and what
  // arrives is whole lines only.
  const std::string line(1000, 'x');
  int written = 0, dropped = 0;
  for (int i = 0; i < 2000; ++i) (sink->write_line(line + std::to_string(i % 10)) ? written : dropped)++;
  EXPECT_GT(written, 0);
  EXPECT_GT(dropped, 0);
  std::string got;
  char ch;
  while (reader.receive(&ch, 1, 0)) got += ch;
  ASSERT_FALSE(got.empty());
  size_t start = 0;
  while (start < got.size()) {
    const size_t end = got.find('\n', start);
    if (end == std::string::npos) break;  // the rest of a line the writer still holds
    EXPECT_EQ(end - start, line.size() + 1) << "at byte " << start;
    start = end + 1;
  }
  // The reader goes: writes fail quietly (no SIGPIPE) and the connection is dropped.
  reader.close();
  listener.close();
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(sink->write_line("{}"));
  EXPECT_FALSE(sink->connected());
}

}  // namespace
