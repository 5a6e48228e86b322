// The saved-game and system-data layouts against bytes written out by hand,
// and the readers against damaged and hand-edited files.
#include <gtest/gtest.h>

#include <cstring>

#include "base/crc32.h"
#include "persistence/save_file.h"
#include "persistence/saves.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_engine.h"

namespace {

using persist::Record;

// Little-endian words as bytes.
struct Bytes {
  std::vector<uint8_t> b;
  Bytes& u32(uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
  }
  Bytes& text(std::string_view s) {
    b.insert(b.end(), s.begin(), s.end());
    return *this;
  }
  Bytes& zeros(size_t n) {
    b.insert(b.end(), n, 0);
    return *this;
  }
};

rt::Value named(rt::Value v, uint32_t key, uint8_t scope) {
  v.key = key;
  v.scope = scope;
  return v;
}

class Blocks : public ::testing::Test {
 protected:
  testing_support::TempDir dir;
  std::unique_ptr<rt::Engine> e = testing_support::make_engine(dir.path());
};

// Two strings that share a block, an int array, and a string array whose
// second element is the shared string: each block once, in table order,
// string-array elements right after their array.
TEST_F(Blocks, TheBlobHoldsEachBlockOnceInTableOrder) {
  rt::StringBlock* shared = rt::new_string("ab");
  rt::ArrayBlock* ints = rt::new_array(*e, rt::kIntArray, 1, 1, 2);
  ints->ints()[0] = 7;
  ints->ints()[1] = -1;
  rt::ArrayBlock* names = rt::new_array(*e, rt::kStringArray, 1, 1, 2);
  rt::release_string(names->strings()[1]);
  names->strings()[1] = shared;
  shared->refs = 3;  // two variables and the array element
  std::vector<rt::Value> values = {
      named(rt::string_value(shared), 0x11, rt::kGlobal),
      named(rt::int_value(-5), 0x22, rt::kGlobal),
      named(rt::array_value(rt::kIntArray, ints), 0x33, rt::kGlobal),
      named(rt::string_value(shared), 0x44, rt::kGlobal),
      named(rt::array_value(rt::kStringArray, names), 0x55, rt::kGlobal),
  };
  persist::BlobWriter w;
  std::vector<Record> records;
  w.add_table(values, records);

  Bytes blob;
  blob.u32(3).u32(0).u32(3).text("ab").zeros(1);                    // 0: "ab", 15 bytes
  blob.u32(1).u32(15).u32(1).u32(1).u32(2).u32(7).u32(0xFFFFFFFF).u32(0);  // 15: int array, 24 + 8
  blob.u32(1).u32(47).u32(1).u32(1).u32(2).u32(0).u32(79).u32(0);    // 47: string array, elements at 24
  blob.u32(1).u32(79).u32(1).zeros(1);                               // 79: its first element ""
  EXPECT_EQ(w.blob, blob.b);

  Bytes recs;
  recs.u32(0x11).u32(2).u32(0).u32(0);
  recs.u32(0x22).u32(0).u32(1).u32(0xFFFFFFFB);
  recs.u32(0x33).u32(3).u32(15).u32(0);
  recs.u32(0x44).u32(2).u32(0).u32(0);
  recs.u32(0x55).u32(5).u32(47).u32(0);
  std::vector<uint8_t> flat;
  for (const Record& r : records) flat.insert(flat.end(), r.begin(), r.end());
  EXPECT_EQ(flat, recs.b);

  // Read back: shared blocks are shared again.
  persist::BlobReader reader(*e, w.blob);
  auto back = reader.read_table(records, rt::kThread);
  ASSERT_TRUE(back);
  ASSERT_EQ(back->size(), 5u);
  EXPECT_EQ((*back)[0].s, (*back)[3].s);
  EXPECT_EQ((*back)[4].a->strings()[1], (*back)[0].s);
  EXPECT_EQ(rt::string_of((*back)[0]), "ab");
  EXPECT_EQ((*back)[1].i, -5);
  EXPECT_EQ((*back)[2].a->ints()[1], -1);
  EXPECT_EQ((*back)[4].a->strings()[0]->size, 1);
  EXPECT_EQ((*back)[2].scope, rt::kThread);
  persist::release_values(*back);
  persist::release_values(values);
}

// Records and blobs that a hand or a bad disk made: refused, nothing leaks.
TEST_F(Blocks, DamagedRecordsAreRefused) {
  auto read = [&](const Bytes& rec, const Bytes& blob) {
    std::vector<Record> records(rec.b.size() / 16);
    for (size_t i = 0; i < records.size(); ++i) std::memcpy(records[i].data(), rec.b.data() + 16 * i, 16);
    persist::BlobReader reader(*e, blob.b);
    auto v = reader.read_table(records, rt::kGlobal);
    if (v) persist::release_values(*v);
    return v.has_value();
  };
  Bytes str;
  str.u32(1).u32(0).u32(3).text("ab").zeros(1);
  EXPECT_TRUE(read(Bytes().u32(1).u32(2).u32(0).u32(0), str));
  EXPECT_FALSE(read(Bytes().u32(1).u32(9).u32(0).u32(0), str)) << "a kind that does not exist";
  EXPECT_FALSE(read(Bytes().u32(1).u32(2).u32(100).u32(0), str)) << "an offset past the blob";
  Bytes long_string;
  long_string.u32(1).u32(0).u32(1000).text("ab").zeros(1);
  EXPECT_FALSE(read(Bytes().u32(1).u32(2).u32(0).u32(0), long_string)) << "a length past the blob";
  EXPECT_FALSE(read(Bytes().u32(1).u32(2).u32(0).u32(0).u32(2).u32(3).u32(0).u32(0), str))
      << "one block read as a string and as an array";
  EXPECT_FALSE(read(Bytes().u32(1).u32(2).u32(0).u32(0).u32(2).u32(2).u32(4).u32(0), str))
      << "blocks that overlap";
  Bytes huge;
  huge.u32(1).u32(0).u32(0x10000).u32(0x10000).u32(0x10000).zeros(8);
  EXPECT_FALSE(read(Bytes().u32(1).u32(3).u32(0).u32(0), huge)) << "an array larger than the file";
  Bytes bad_element;
  bad_element.u32(1).u32(0).u32(1).u32(1).u32(1).u32(0).u32(0);
  EXPECT_FALSE(read(Bytes().u32(1).u32(5).u32(0).u32(0), bad_element)) << "an element naming its own array";
}

std::vector<uint8_t> small_save(rt::Engine& e, std::vector<rt::Value>& globals) {
  persist::Head head{};
  persist::set_head_string(head, persist::field::kTitle, 128, "title");
  persist::set_head_u32(head, persist::field::kConsoleShown, 1);
  std::vector<uint8_t> backlog(persist::kBacklogSize, 0);
  backlog.back() = 0x42;
  std::vector<uint8_t> thumb = {1, 2, 3, 4, 5, 6};
  persist::FrameRecord f0;
  f0.script = "START.MJO";
  f0.pc = 0x20;
  f0.base = 1;
  f0.stack_top = 2;
  f0.line = 9;
  f0.targets[3] = 0x30;
  std::vector<persist::FrameRecord> frames = {f0};
  std::vector<rt::Value> locals = {rt::int_value(0), rt::int_value(77)};
  globals.push_back(named(rt::string_value(rt::new_string("x")), 0xABCD, rt::kGlobal));
  persist::SaveContents c;
  c.head = head;
  c.backlog = backlog;
  c.thumb_width = 2;
  c.thumb_height = 1;
  c.thumbnail = thumb;
  c.frames = frames;
  c.globals = globals;
  c.locals = locals;
  return persist::write_save(c);
}

TEST_F(Blocks, ASaveFileLaysOutEveryField) {
  std::vector<rt::Value> globals;
  std::vector<uint8_t> file = small_save(*e, globals);
  Bytes want;
  want.text("QuorelSavV1.102").zeros(1).text("title").zeros(123);
  want.u32(0).u32(2).u32(1).u32(1).u32(0).u32(2).u32(14);  // D, w, h, G, T, L, B
  want.zeros(908 - 172).u32(1);
  want.zeros(persist::kBacklogSize - 1).text("\x42");
  want.text(std::string("\1\2\3\4\5\6", 6));
  want.text("START.MJO").zeros(128 - 9).u32(0x20).u32(1).u32(2).u32(0).u32(9);
  want.u32(0).u32(0).u32(0).u32(0x30).u32(0);
  want.u32(0xABCD).u32(2).u32(0).u32(0);                       // the global: its string at 0
  want.u32(0).u32(0).u32(3).u32(0).u32(0).u32(0).u32(3).u32(77);  // two locals
  want.u32(1).u32(0).u32(2).text("x").zeros(1);                // the blob
  EXPECT_EQ(file, want.b);

  persist::ReadError error;
  auto parsed = persist::parse_save(file, &error);
  ASSERT_TRUE(parsed) << persist::describe(error);
  EXPECT_EQ(parsed->frames.size(), 1u);
  EXPECT_EQ(parsed->frames[0].script, "START.MJO");
  EXPECT_EQ(parsed->frames[0].targets[3], 0x30u);
  EXPECT_EQ(parsed->thumbnail, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(parsed->locals.size(), 2u);
  EXPECT_TRUE(parsed->tail.empty());
  persist::release_values(globals);
}

TEST_F(Blocks, DamagedSaveFilesAreRefusedWithTheReason) {
  std::vector<rt::Value> globals;
  const std::vector<uint8_t> good = small_save(*e, globals);
  persist::release_values(globals);
  auto error_of = [](std::vector<uint8_t> bytes) {
    persist::ReadError error;
    persist::parse_save(bytes, &error);
    return error;
  };
  auto with_word = [&](size_t at, uint32_t v) {
    std::vector<uint8_t> b = good;
    std::memcpy(b.data() + at, &v, 4);
    return b;
  };
  EXPECT_EQ(error_of(good), persist::ReadError::None);
  EXPECT_EQ(error_of(std::vector<uint8_t>(good.begin(), good.end() - 1)), persist::ReadError::Short);
  EXPECT_EQ(error_of(std::vector<uint8_t>(good.begin(), good.begin() + 100)), persist::ReadError::Short);
  EXPECT_EQ(error_of(with_word(4, 0x21212121)), persist::ReadError::BadMagic) << "another engine's file";
  EXPECT_EQ(error_of(with_word(persist::field::kDepth, 1000000)), persist::ReadError::BadCounts);
  EXPECT_EQ(error_of(with_word(persist::field::kThumbWidth, 100000)), persist::ReadError::BadCounts);
  EXPECT_EQ(error_of(with_word(persist::field::kThumbWidth, 4000)), persist::ReadError::Short);
  EXPECT_EQ(error_of(with_word(persist::field::kGlobals, 0x80000000)), persist::ReadError::Short);
  EXPECT_EQ(error_of(with_word(persist::field::kBlobSize, 0xFFFFFFFF)), persist::ReadError::Short);
  // Bytes after the blob belong to the trailer and do not disturb the layout.
  std::vector<uint8_t> longer = good;
  longer.push_back(9);
  EXPECT_EQ(error_of(longer), persist::ReadError::None);
}

// The limits a save may reach are readable: 256 frames (a thread at its
// deepest) and thumbnails up to 4096 pixels on a side; one more is refused.
TEST_F(Blocks, SavesAtTheLimitsAreReadAndOneBeyondIsRefused) {
  auto save = [&](size_t frames, int w, int h) {
    const std::vector<uint8_t> backlog(persist::kBacklogSize, 0);
    const std::vector<uint8_t> thumbnail(static_cast<size_t>(w) * h * 3, 7);
    persist::FrameRecord f;
    f.script = "START.MJO";
    f.pc = 0x20;
    f.base = 1;
    f.stack_top = 1;
    const std::vector<persist::FrameRecord> records(frames, f);
    const std::vector<rt::Value> locals = {rt::int_value(0)};
    persist::SaveContents c;
    c.backlog = backlog;
    c.thumb_width = w;
    c.thumb_height = h;
    c.thumbnail = thumbnail;
    c.frames = records;
    c.locals = locals;
    return persist::write_save(c);
  };
  auto error_of = [](const std::vector<uint8_t>& bytes) {
    persist::ReadError error;
    persist::parse_save(bytes, &error);
    return error;
  };
  auto deepest = persist::parse_save(save(256, 0, 0));
  ASSERT_TRUE(deepest);
  EXPECT_EQ(deepest->frames.size(), 256u);
  EXPECT_EQ(error_of(save(257, 0, 0)), persist::ReadError::BadCounts);
  auto wide = persist::parse_save(save(1, 4096, 1));
  ASSERT_TRUE(wide);
  EXPECT_EQ(wide->thumb_width, 4096);
  auto tall = persist::parse_save(save(1, 1, 4096));
  ASSERT_TRUE(tall);
  EXPECT_EQ(tall->thumb_height, 4096);
  EXPECT_EQ(error_of(save(1, 4097, 1)), persist::ReadError::BadCounts);
  EXPECT_EQ(error_of(save(1, 1, 4097)), persist::ReadError::BadCounts);
}

TEST_F(Blocks, TheSystemFileHoldsTheSeenTableAndThePersistentVariables) {
  std::array<uint32_t, persist::kSeenEntries> seen{};
  seen[0] = 0xDEADBEEF;
  rt::StringBlock* s = rt::new_string("v");
  s->refs = 2;
  std::vector<rt::Value> vars = {named(rt::string_value(s), 1, rt::kPersistent),
                                 named(rt::string_value(s), 2, rt::kPersistent),
                                 named(rt::float_value(1.5f), 3, rt::kPersistent)};
  std::vector<uint8_t> file = persist::write_system(seen, vars);
  Bytes want;
  want.text("QuorelSysV1.100").zeros(1).u32(3).u32(14).u32(0xDEADBEEF).zeros(4 * (persist::kSeenEntries - 1));
  want.u32(1).u32(2).u32(0).u32(0).u32(2).u32(2).u32(0).u32(0).u32(3).u32(1).u32(0).u32(0x3FC00000);
  want.u32(2).u32(0).u32(2).text("v").zeros(1);
  EXPECT_EQ(file, want.b);

  auto parsed = persist::parse_system(file);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->seen[0], 0xDEADBEEFu);
  persist::BlobReader reader(*e, parsed->blob);
  auto back = reader.read_table(parsed->records, rt::kPersistent);
  ASSERT_TRUE(back);
  EXPECT_EQ((*back)[0].s, (*back)[1].s) << "a shared string comes back shared";
  EXPECT_EQ((*back)[2].f, 1.5f);
  persist::release_values(*back);
  persist::release_values(vars);

  // A seen table of 2^31 entries is no table.
  std::vector<uint8_t> bad = file;
  const uint32_t huge = 0x80000000;
  std::memcpy(bad.data() + 16, &huge, 4);
  persist::ReadError error;
  EXPECT_FALSE(persist::parse_system(bad, &error));
  EXPECT_EQ(error, persist::ReadError::Short);
}

TEST(SaveNames, SlotsTitlesAndSeenNames) {
  EXPECT_EQ(persist::slot_file(7), "savedata\\quorel_0007.sav");
  EXPECT_EQ(persist::slot_file(-1), "savedata\\quorel_last.sav");
  plat::LocalTime t{2026, 3, 4, 5, 6, 7, 0};
  // "a/b:c" -> a／b：c (Shift-JIS 0x815E, 0x8146), then the date.
  std::string name = persist::proposed_save_name("a/b:c", t);
  EXPECT_EQ(name.substr(0, 7), "a\x81^b\x81" "Fc");
  EXPECT_NE(name.find("26"), std::string::npos);
  // A trail byte that looks like "\" is part of its character, not a separator.
  EXPECT_EQ(persist::proposed_save_name("\x95\\", t).substr(0, 2), "\x95\\");
  EXPECT_EQ(persist::seen_hash("CG\\Pic01.PNG"), persist::seen_hash("cg\\pic01"));
  EXPECT_EQ(persist::seen_hash("pic01"), base::crc32("pic01"));
}

}  // namespace
