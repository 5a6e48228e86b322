// The real program started on small game folders.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

using testing_support::run_program;
using testing_support::TempDir;

namespace {

TEST(Startup, MissingEnvironmentFileEndsWithMinusOne) {
  TempDir game;
  auto r = run_program({"quorel", "--headless", game.path()});
  EXPECT_EQ(r.exit_code, 255);
  EXPECT_NE(r.err.find("起動に必要なファイルが不足しています。\\nインストールの異常終了"), std::string::npos) << r.err;
}

TEST(Startup, EnvironmentFileNextToTheProgramIsUsed) {
  // The program lies in a folder with the game; it is started from elsewhere.
  TempDir install, elsewhere;
  std::filesystem::copy_file(testing_support::built_program("quorel"), install / "quorel");
  std::filesystem::permissions(install / "quorel", std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);
  install.write("fastdata/quorel.env", "TITLEBAR Found|It\n");
  auto r = run_program({install / "quorel", "--headless"}, elsewhere.path());
  // It gets as far as loading "start", whose box carries the title as caption.
  EXPECT_NE(r.err.find("message box: Found It | QuorelObj"), std::string::npos) << r.err;
}

TEST(Startup, UnknownOptionsPrintUsage) {
  auto r = run_program({"quorel", "--no-such-option"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("usage: quorel"), std::string::npos);
  auto help = run_program({"quorel", "--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.out.find("--virtual-clock"), std::string::npos);
}

}  // namespace
