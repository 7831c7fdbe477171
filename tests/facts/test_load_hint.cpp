// The plain sentence beside a load error: a file cut short or grown, a text
// file, a unit of a later release, a file too short, a folder; none where
// the cause is not clear.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "LoadHint.h"
#include "UnitLoad.h"

namespace fs = std::filesystem;

namespace {

std::string Write(const fs::path& P, const std::string& Bytes) {
  std::ofstream(P, std::ios::binary) << Bytes;
  return P.string();
}

std::string ErrorOf(const std::string& Path) { return TryLoadUnit(Path).Error; }

}  // namespace

TEST(LoadHint, SentencesForTheClearCauses) {
  const fs::path Dir = fs::temp_directory_path() / ("unitpeek-hint-" + std::to_string(::getpid()));
  fs::create_directories(Dir);
  // A version 7 magic with a header that says 538,949 bytes, in 200,000.
  std::string Unit("\xDF\x00\x00\x0F\x45\x39\x08\x00", 8);
  Unit.resize(200000, '\0');
  const std::string Cut = Write(Dir / "Cut.dcu", Unit);
  EXPECT_EQ(LoadErrorHint(Cut, ErrorOf(Cut)), "The file is 200,000 bytes; its header says 538,949: it was cut short.");
  std::string Small = Unit.substr(0, 16);
  Small[4] = 8;  // says 8 bytes, has 16
  Small[5] = Small[6] = 0;
  const std::string Grown = Write(Dir / "Grown.dcu", Small);
  EXPECT_EQ(LoadErrorHint(Grown, ErrorOf(Grown)), "The file is 16 bytes; its header says 8: something was added after its end.");

  const std::string Text = Write(Dir / "Text.dcu", "{**** a comment ****}\r\nunit Text;\r\n");
  EXPECT_EQ(ErrorOf(Text).substr(ErrorOf(Text).find("Wrong magic")), "Wrong magic: 0x2A2A2A7B");
  EXPECT_EQ(LoadErrorHint(Text, ErrorOf(Text)), "This is a text file, not a compiled unit.");
  const std::string Later = Write(Dir / "Later.dcu", std::string("\xDF\x00\x00\x14\x10\x00\x00\x00", 8) + std::string(8, '\0'));
  EXPECT_EQ(LoadErrorHint(Later, ErrorOf(Later)),
            "A unit of a later compiler release (format byte 0x14), which this version does not read.");
  const std::string Later2 = Write(Dir / "Later2.dcu", std::string("\x4B\x03\x00\x17\x10\x00\x00\x00", 8));
  EXPECT_EQ(LoadErrorHint(Later2, ErrorOf(Later2)),
            "A unit of a later compiler release (format byte 0x17), which this version does not read.");
  const std::string Other = Write(Dir / "Other.dcu", std::string("\x01\x02\x03\x04\x10\x00\x00\x00", 8));
  EXPECT_EQ(LoadErrorHint(Other, ErrorOf(Other)), "The file does not begin as a compiled unit of any release does.");
  const std::string Tiny = Write(Dir / "Tiny.dcu", "ab");
  EXPECT_EQ(LoadErrorHint(Tiny, ErrorOf(Tiny)), "The file is too short for a compiled unit.");
  EXPECT_EQ(LoadErrorHint(Dir.string(), ErrorOf(Dir.string())), "This is a folder, not a unit file.");
  // No sentence where the message says it all, or the cause is not clear.
  EXPECT_EQ(LoadErrorHint((Dir / "none.dcu").string(), ErrorOf((Dir / "none.dcu").string())), "");
  EXPECT_EQ(LoadErrorHint(Cut, "Error at 0x10CC(Def: 0x10C8, Tag=\"G\"(0x47)): Wrong block size 1"), "");
  EXPECT_EQ(GroupedNumber(0), "0");
  EXPECT_EQ(GroupedNumber(999), "999");
  EXPECT_EQ(GroupedNumber(1000), "1,000");
  EXPECT_EQ(GroupedNumber(1234567), "1,234,567");
  fs::remove_all(Dir);
}
