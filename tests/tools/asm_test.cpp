// The assembler and disassembler, in-process and as the quorel-asm program.
#include <gtest/gtest.h>

#include "script/script_file.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tools/asm/assembler.h"

using testing_support::run_program;
using testing_support::TempDir;

namespace {

TEST(Assembler, ReportsErrorsWithTheirLines) {
  auto r = quorel_asm::assemble(
      "main:\n"
      "    frobnicate\n"                 // 2: unknown instruction
      "    push_i\n"                     // 3: missing operand
      "    jmp nowhere\n"                // 4: unknown label
      "    push_s \"emoji \xF0\x9F\x98\x80\"\n"  // 5: not Shift-JIS
      "    load q @x\n"                  // 6: unknown kind
      "    load i _x\n"                  // 7: local without a slot
      "    syscall no_such_builtin, 0\n" // 8
      "main:\n",                         // 9: label twice
      "bad.qasm");
  ASSERT_FALSE(r.ok());
  std::string all;
  for (auto& e : r.errors) all += e.message + "\n";
  for (const char* want : {"bad.qasm:2: unknown instruction 'frobnicate'", "bad.qasm:3: push_i takes 1 operand",
                           "bad.qasm:4: unknown label 'nowhere'", "bad.qasm:5: text cannot be written in Shift-JIS",
                           "bad.qasm:6: unknown kind 'q'", "bad.qasm:7: local '_x' has no slot",
                           "bad.qasm:8: unknown built-in 'no_such_builtin'", "bad.qasm:9: label 'main' defined twice"})
    EXPECT_NE(all.find(want), std::string::npos) << want << "\n" << all;
}

TEST(Assembler, LayoutOfOperands) {
  auto r = quorel_asm::assemble(
      ".function $f@GLOBAL\n"
      "    load i --@v:3\n"
      "    call_fn $f@GLOBAL, 2\n"
      "    syscall wait, 1\n"
      "    jmp back\n"
      "back:\n"
      "    push_s \"\xe3\x81\x82\"\n");  // あ: 82 A0 in Shift-JIS
  ASSERT_TRUE(r.ok());
  auto image = rt::parse_script_image(r.object);
  ASSERT_TRUE(image);
  ASSERT_EQ(image->functions.size(), 1u);
  const std::vector<uint8_t> expected_code = {
      0x02, 0x08, 0x22, 0x00, 0, 0, 0, 0, 0x03, 0x00,      // load: flags 0x0022 (scope 1, --x), key, hint 3
      0x0F, 0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0x02, 0x00,      // call_fn: key, cache 0, argc 2
      0x34, 0x08, 0xE3, 0x95, 0xCF, 0xCF, 0x01, 0x00,      // syscall wait (0xCF35F0E3... little-endian)
      0x2C, 0x08, 0x00, 0x00, 0x00, 0x00,                  // jmp +0
      0x01, 0x08, 0x03, 0x00, 0x82, 0xA0, 0x00};           // push_s: L = 3 with the NUL
  ASSERT_EQ(image->code.size(), expected_code.size());
  // Keys are CRC-32s; compare everything else byte for byte.
  for (size_t i = 0; i < expected_code.size(); ++i) {
    bool key_byte = (i >= 4 && i < 8) || (i >= 12 && i < 16) || (i >= 24 && i < 28);
    if (!key_byte) {
      EXPECT_EQ(image->code[i], expected_code[i]) << "byte " << i;
    }
  }
  EXPECT_EQ(image->code[24] | (image->code[25] << 8) | (image->code[26] << 16) | (uint32_t(image->code[27]) << 24),
            0xCF35F0E3u);
}

// The line count covers line numbers 0 to the highest one used, so that the
// read mark of the last line has its bit; .lines sets it outright.
TEST(Assembler, TheLineCountCoversTheHighestLine) {
  auto line_count = [](const std::string& source) {
    auto r = quorel_asm::assemble(source);
    EXPECT_TRUE(r.ok());
    auto image = rt::parse_script_image(r.object);
    EXPECT_TRUE(image);
    return image ? static_cast<int64_t>(image->line_count) : -1;
  };
  EXPECT_EQ(line_count("main:\n    line 3\n    line 7\n    line 5\n    return\n"), 8);
  EXPECT_EQ(line_count("main:\n    return\n"), 0) << "no lines, no read marks";
  EXPECT_EQ(line_count(".lines 20\nmain:\n    line 7\n    return\n"), 20);
}

TEST(AssemblerProgram, AssemblesDisassemblesAndRefusesBadInput) {
  TempDir dir;
  dir.write("s.qasm", ".function $init@GLOBAL\n    return\nmain:\n    push_s \"日本\"\n    syscall_discard debugout, 1\n");
  auto a = run_program({"quorel-asm", dir / "s.qasm", "--scrambled", "--symbols", dir / "s.sym"});
  ASSERT_EQ(a.exit_code, 0) << a.err;
  ASSERT_TRUE(dir.exists("s.mjo"));
  EXPECT_EQ(dir.read("s.mjo").substr(0, 16), std::string("QuorelObjX1.000\0", 16));

  auto d = run_program({"quorel-asm", "-d", dir / "s.mjo", "-o", dir / "back.qasm", "--names", dir / "s.sym"});
  ASSERT_EQ(d.exit_code, 0) << d.err;
  std::string text = dir.read("back.qasm");
  EXPECT_NE(text.find(".export $init@GLOBAL"), std::string::npos) << text;
  EXPECT_NE(text.find("push_s \"日本\""), std::string::npos);
  EXPECT_NE(text.find(".scrambled"), std::string::npos);
  auto again = run_program({"quorel-asm", dir / "back.qasm", "-o", dir / "again.mjo"});
  ASSERT_EQ(again.exit_code, 0) << again.err;
  EXPECT_EQ(dir.read("again.mjo"), dir.read("s.mjo"));

  dir.write("bad.qasm", "    nonsense\n");
  auto bad = run_program({"quorel-asm", dir / "bad.qasm"});
  EXPECT_EQ(bad.exit_code, 1);
  EXPECT_NE(bad.err.find("bad.qasm:1: unknown instruction"), std::string::npos);
  EXPECT_FALSE(dir.exists("bad.mjo")) << "nothing is written on error";

  dir.write("junk.mjo", "not a script");
  auto junk = run_program({"quorel-asm", "-d", dir / "junk.mjo"});
  EXPECT_EQ(junk.exit_code, 1);
  EXPECT_EQ(run_program({"quorel-asm", "--bogus"}).exit_code, 2);
  EXPECT_EQ(run_program({"quorel-asm", "--help"}).exit_code, 0);
}

TEST(Disassembler, ArbitraryBytesComeBackTheSame) {
  // Code the compiler never writes: unknown opcodes, a cut-off instruction,
  // jumps into operands and past the end, odd variable flags.
  auto r = quorel_asm::assemble(
      ".export 0x12345678, 3\n"
      "main:\n"
      "    .u16 0x0777\n"
      "    load {0xC0FF, 0xDEADBEEF, -7}\n"
      "    jmp +3\n"
      "    jmp -200\n"
      "    push_s \"\\x81\\x00z\" noterm\n"
      "    .bytes 0x00, 0x08, 0x01\n");
  ASSERT_TRUE(r.ok()) << r.errors[0].message;
  std::string text, error;
  ASSERT_TRUE(quorel_asm::disassemble(r.object, &text, &error));
  auto again = quorel_asm::assemble(text);
  ASSERT_TRUE(again.ok()) << again.errors[0].message << "\n" << text;
  EXPECT_EQ(again.object, r.object) << text;
}

TEST(Assembler, HooksByName) {
  // ".hook NAME" starts a function under the hook's key; ".hook NAME, LABEL"
  // points one elsewhere; the disassembler prints both back by name, with
  // the names as labels, and the text reassembles to the same bytes.
  auto r = quorel_asm::assemble(
      ".hook console_pause\n"
      "    syscall_discard click_wait, 0\n"
      "    return\n"
      "wipe:\n"
      "    return\n"
      ".hook console_wipe, wipe\n"
      ".export 0x12345678, wipe\n");
  ASSERT_TRUE(r.ok()) << r.errors[0].message;
  auto image = rt::parse_script_image(r.object);
  ASSERT_TRUE(image);
  ASSERT_EQ(image->functions.size(), 3u);
  EXPECT_EQ(image->functions[0].key, 0x20CE505Du);
  EXPECT_EQ(image->functions[0].offset, 0u);
  EXPECT_EQ(image->functions[1].key, 0x93B38A0Bu);

  std::string text, error;
  ASSERT_TRUE(quorel_asm::disassemble(r.object, &text, &error));
  EXPECT_NE(text.find(".hook console_pause, console_pause\n"), std::string::npos) << text;
  EXPECT_NE(text.find(".hook console_wipe, console_wipe\n"), std::string::npos) << text;
  EXPECT_NE(text.find("console_pause:\n"), std::string::npos) << text;
  auto again = quorel_asm::assemble(text);
  ASSERT_TRUE(again.ok()) << again.errors[0].message << "\n" << text;
  EXPECT_EQ(again.object, r.object) << text;

  auto bad = quorel_asm::assemble(".hook console_paws\n    return\n.hook\n", "h.qasm");
  ASSERT_EQ(bad.errors.size(), 2u);
  EXPECT_NE(bad.errors[0].message.find("h.qasm:1: unknown hook 'console_paws' (hooks: console_show"),
            std::string::npos) << bad.errors[0].message;
  EXPECT_NE(bad.errors[1].message.find("h.qasm:3: .hook needs a hook name"), std::string::npos);
}

TEST(Disassembler, FunctionNamesBecomeLabels) {
  auto r = quorel_asm::assemble(
      ".function $story@GLOBAL\n"
      "    jmp $story@GLOBAL\n"
      ".function $other@GLOBAL\n"
      "    return\n");
  ASSERT_TRUE(r.ok());
  std::string text, error;
  quorel_asm::DisassembleOptions options;
  options.names = &r.names;
  ASSERT_TRUE(quorel_asm::disassemble(r.object, &text, &error, options));
  EXPECT_NE(text.find(".export $story@GLOBAL, $story@GLOBAL\n"), std::string::npos) << text;
  EXPECT_NE(text.find("    jmp $story@GLOBAL\n"), std::string::npos) << text;
  auto again = quorel_asm::assemble(text);
  ASSERT_TRUE(again.ok()) << again.errors[0].message << "\n" << text;
  EXPECT_EQ(again.object, r.object);
}

}  // namespace
