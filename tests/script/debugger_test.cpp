// The debugger link, driven from the test as a debugger would drive it.
#include <gtest/gtest.h>

#include "base/bytes.h"
#include "base/crc32.h"
#include "platform/unix_socket.h"
#include "script/debugger.h"
#include "tests/support/script_game.h"

using testing_support::Background;
using testing_support::ScriptGame;

namespace {

namespace dm = rt::debug_msg;

struct Frame {
  uint32_t msg = 0, wparam = 0, lparam = 0;
  uint32_t kind = 0;
  std::string data;  // the record of a kCopyData
};

class Link {
 public:
  explicit Link(plat::UnixSocket s) : s_(std::move(s)) {}
  Frame read() {
    Frame f;
    uint8_t b[12];
    if (!s_.receive(b, 12, 20000)) {
      ADD_FAILURE() << "the engine sent nothing";
      return f;
    }
    f.msg = base::load_u32(b), f.wparam = base::load_u32(b + 4), f.lparam = base::load_u32(b + 8);
    if (f.msg == dm::kCopyData) {
      uint8_t head[8];
      EXPECT_TRUE(s_.receive(head, 8, 20000));
      f.kind = base::load_u32(head);
      f.data.resize(base::load_u32(head + 4));
      if (!f.data.empty()) {
        EXPECT_TRUE(s_.receive(f.data.data(), f.data.size(), 20000));
      }
    }
    return f;
  }
  // Sends a message and returns the engine's reply (records that come
  // before it are kept in `records`).
  int32_t send(uint32_t msg, uint32_t wparam = 0, uint32_t lparam = 0) {
    uint8_t b[12];
    base::store_u32(b, msg), base::store_u32(b + 4, wparam), base::store_u32(b + 8, lparam);
    s_.send_all(b, 12);
    for (;;) {
      Frame f = read();
      if (f.msg == dm::kReply) {
        EXPECT_EQ(f.wparam, msg);
        return static_cast<int32_t>(f.lparam);
      }
      if (f.msg == 0) return -999;
      records.push_back(f);
    }
  }
  std::vector<Frame> records;

 private:
  plat::UnixSocket s_;
};

std::string stop_name(const Frame& f) { return std::string(f.data.c_str()); }
uint32_t stop_line(const Frame& f) { return base::load_u32(reinterpret_cast<const uint8_t*>(f.data.data()) + 64); }

TEST(Debugger, GreetsStopsAtBreakpointsStepsAndShowsValues) {
  ScriptGame game;
  game.script("start", R"(
.function $init@GLOBAL
    line 2
    return
main:
    line 5
    push_i 41
    st_i_pop @count
    push_s "hello"
    st_ref_s_pop @word
    line 9
    call_fn_discard $inner@GLOBAL, 0
    line 11
    syscall_discard system_end, 0
.function $inner@GLOBAL
    line 20
    push_i 0
    return
)");
  std::string path = game.dir / "dbg.sock";
  plat::UnixSocket listener = plat::UnixSocket::listen(path);
  ASSERT_TRUE(listener.valid());
  Background engine({"quorel", "--headless", "--virtual-clock=10", "--max-frames=500",
                     "--settings=" + (game.dir / "s.ini"), "--debug=" + path, game.dir.path()});
  Link link(listener.accept(20000));

  Frame hello = link.read();
  EXPECT_EQ(hello.msg, dm::kHello);
  EXPECT_EQ(link.read().msg, dm::kRequestAck);
  EXPECT_EQ(link.send(dm::kAck), 0);

  // It stops at the first line it meets.
  Frame first = link.read();
  ASSERT_EQ(first.msg, dm::kCopyData);
  EXPECT_EQ(first.kind, 0u);
  EXPECT_EQ(first.data.size(), 72u);
  EXPECT_EQ(stop_name(first), "START.MJO");
  EXPECT_EQ(stop_line(first), 2u);

  const uint32_t script = base::crc32("START.MJO");
  EXPECT_EQ(link.send(dm::kAddBreakpoint, script, 9), 0);
  EXPECT_EQ(link.send(dm::kAddBreakpoint, script, 9), 1) << "already there";
  EXPECT_EQ(link.send(dm::kContinue), 0);

  Frame at9 = link.read();
  ASSERT_EQ(at9.msg, dm::kCopyData);
  EXPECT_EQ(stop_line(at9), 9u);
  EXPECT_EQ(link.send(dm::kVariablePayload, base::crc32("@count@GLOBAL")), 41);
  EXPECT_EQ(link.send(dm::kSendVariable, base::crc32("@word@GLOBAL")), 0);
  ASSERT_EQ(link.records.size(), 1u);
  const Frame& word = link.records[0];
  EXPECT_EQ(word.kind, 1u);
  ASSERT_EQ(word.data.size(), 16u);
  uint32_t string_id = base::load_u32(reinterpret_cast<const uint8_t*>(word.data.data()) + 12);
  EXPECT_EQ(link.send(dm::kSendString, string_id), 0);
  ASSERT_EQ(link.records.size(), 2u);
  EXPECT_EQ(link.records[1].kind, 2u);
  EXPECT_EQ(link.records[1].data, std::string("hello\0", 6));
  EXPECT_EQ(link.send(dm::kSendVariable, base::crc32("@nothing@GLOBAL")), -1);
  EXPECT_EQ(link.send(dm::kRemoveBreakpoint, script, 9), 0);
  EXPECT_EQ(link.send(dm::kRemoveBreakpoint, script, 9), 1);

  // Step into the call, then over the rest.
  EXPECT_EQ(link.send(dm::kStepInto), 0);
  Frame inner = link.read();
  EXPECT_EQ(stop_line(inner), 20u);
  EXPECT_EQ(link.send(dm::kStepOver), 0);
  Frame back = link.read();
  EXPECT_EQ(stop_line(back), 11u) << "the next line not deeper than line 20's call";
  EXPECT_EQ(link.send(dm::kContinue), 0);
  EXPECT_EQ(link.read().msg, dm::kGoodbye);
}

TEST(Debugger, TooManyBreakpointsAreRefused) {
  ScriptGame game;
  game.script("start", ".function $init@GLOBAL\n    line 1\n    return\nmain:\n    syscall_discard system_end, 0\n");
  std::string path = game.dir / "dbg.sock";
  plat::UnixSocket listener = plat::UnixSocket::listen(path);
  Background engine({"quorel", "--headless", "--virtual-clock=10", "--max-frames=50",
                     "--settings=" + (game.dir / "s.ini"), "--debug=" + path, game.dir.path()});
  Link link(listener.accept(20000));
  link.read();
  link.read();
  link.send(dm::kAck);
  link.read();  // stopped at line 1
  for (uint32_t line = 0; line < 64; ++line) EXPECT_EQ(link.send(dm::kAddBreakpoint, 7, line), 0);
  EXPECT_EQ(link.send(dm::kAddBreakpoint, 7, 64), 1) << "the 65th is refused (with a box)";
  EXPECT_EQ(link.send(dm::kContinue), 0);
}

TEST(Debugger, NobodyListeningAsksAndGivesUp) {
  ScriptGame game;
  game.script("start", ".function $init@GLOBAL\n    return\nmain:\n    syscall_discard system_end, 0\n");
  auto r = game.run({"--debug=" + (game.dir / "nobody.sock")});
  EXPECT_EQ(r.exit_code, 1);
  ASSERT_EQ(r.boxes.size(), 1u);
  EXPECT_NE(r.boxes[0].find("デバッガが応答していません。もう１０秒待ちますか？ | yes/no -> no"), std::string::npos);
}

}  // namespace
