// A game that saves without pause, killed at random moments: whatever it
// leaves behind is a whole save and whole system data, never older than
// what an earlier kill left, and cut writes do not pile up.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

#include <unistd.h>

#include "base/bytes.h"
#include "base/crc32.h"
#include "fuzz/save_readers.h"
#include "persistence/resume_points.h"
#include "persistence/save_file.h"
#include "platform/files.h"
#include "tests/support/process.h"
#include "tests/support/script_game.h"

using testing_support::Background;

namespace {

// @n counts on from #n, which the system data keeps; each save holds it.
const char kSaver[] = R"(
.function $init@GLOBAL
    return
main:
    line 1
    syscall_discard save_enable, 0
    load i #n
    st_i_pop @n
loop:
    line 2
    load i @n
    push_i 1
    add_i
    st_i_pop @n
    load i @n
    st_i_pop #n
    push_s "kill"
    syscall_discard save_point, 1
    push_i 1
    syscall_discard save_write, 1
    jmp loop
)";

std::optional<int32_t> global_n(const persist::SaveFile& f) {
  for (const persist::Record& r : f.globals)
    if (base::load_u32(r.data()) == base::crc32("@n@GLOBAL")) return base::load_i32(r.data() + 12);
  return std::nullopt;
}

TEST(KillTest, EveryFileLeftBehindIsWhole) {
  // In memory: the kills, not the disk, are what is tested, and the test
  // stays quick.
  testing_support::TempDir dir(true);
  dir.write("fastdata/quorel.env", "TITLEBAR KillTest-" + std::to_string(::getpid()) + "\n");
  dir.write("fastdata/start.mjo", testing_support::assemble_or_fail(kSaver));
  const std::string save = dir / "savedata/quorel_0001.sav";
  const std::string system = dir / "savedata/quorel_system.mss";
  std::mt19937 random(20261209);
  int32_t last = 0;
  int saves_seen = 0;
  for (int kill = 0; kill < 200; ++kill) {
    {
      // Killed at a random moment once it is saving: start-up takes long
      // on a busy machine, and the kills are meant for the saves.
      const auto before = plat::native_file_id(save);
      Background child({"quorel", "--headless", "--virtual-clock=10", "--settings=" + (dir / "settings.ini"),
                        dir.path()});
      for (int wait = 0; wait < 3000 && plat::native_file_id(save) == before; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 8000));
    }  // killed here
    if (auto bytes = plat::read_whole_file(save)) {
      persist::ReadError error;
      auto file = persist::parse_save(*bytes, &error);
      ASSERT_TRUE(file) << "kill " << kill << ": " << persist::describe(error);
      ASSERT_EQ(persist::parse_trailer(file->tail, file->frames.size(), nullptr), persist::TrailerState::Present);
      fuzz_saves::read_save(*bytes);
      auto n = global_n(*file);
      ASSERT_TRUE(n);
      ASSERT_GE(*n, last) << "kill " << kill << " left an older save";
      last = *n;
      ++saves_seen;
    }
    if (auto bytes = plat::read_whole_file(system)) {
      ASSERT_TRUE(persist::parse_system(*bytes)) << "kill " << kill;
    }
  }
  EXPECT_GT(saves_seen, 100);
  EXPECT_GT(last, 10);
  int cut = 0;
  for (const plat::DirEntry& entry : plat::list_directory(dir / "savedata"))
    if (entry.native_name.find(".tmp.") != std::string::npos) ++cut;
  EXPECT_LE(cut, 2) << "temporary files of cut writes are cleared at the next start";
}

}  // namespace
