// The find index over a set read again in part: units kept, dropped and
// added, then put in the walk's order; queries, unit users and declaration
// users answer with the new numbers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "FindIndex.h"
#include "FolderUnits.h"
#include "UnitBuilder.h"
#include "UnitFolders.h"

namespace fs = std::filesystem;

TEST(FindIndex, ReorderKeepsDropsAndAddsUnits) {
  const fs::path Root = fs::temp_directory_path() / ("unitpeek-reorder-" + std::to_string(::getpid()));
  fs::create_directories(Root);
  auto Write = [&](const std::string& Name, const std::vector<uint8_t>& Bytes) {
    unitbuilder::WriteUnitFile((Root / Name).string(), Bytes);
    return (Root / Name).string();
  };
  const std::string App = Write("App.dcu", unitbuilder::FolderUnit("App", 7, {{"Lib", {{"Run", 1}}}}));
  const std::string Lib = Write("Lib.dcu", unitbuilder::FolderUnit("Lib", 7, {}, {{"Run", 1}, {"Old", 2}}));
  Write("Tool.dcu", unitbuilder::FolderUnit("Tool", 7, {{"Lib"}}, {{"Spare", 3}}));
  TFindIndex Index;
  TFolderReport R = ScanFolders({Root.string()}, {}, &Index);
  ASSERT_EQ(Index.Size(), 3u);  // App, Lib, Tool
  ASSERT_EQ(Index.Declarations(), 3u);

  // Lib changed (Old gone, New there), Tool removed, Zed added: the new
  // versions are added after the old units, then all put in walk order.
  Write("Lib.dcu", unitbuilder::FolderUnit("Lib", 7, {}, {{"Run", 1}, {"New", 4}}));
  const std::string Zed = Write("Zed.dcu", unitbuilder::FolderUnit("Zed", 7, {{"Lib", {{"New", 4}}}}));
  for (const std::string& P : {Lib, Zed}) {
    std::optional<TFindUnit> Taken;
    const TFolderUnit U = ReadFolderUnit(P, R.Names, [&](const TUnit& Unit) { Taken = Index.Take(Unit); });
    Index.Add(P, std::move(Taken), U.Error);
  }
  ASSERT_EQ(Index.Size(), 5u);
  Index.Reorder({0, 3, 4});  // App kept, Lib and Zed read again
  ASSERT_EQ(Index.Size(), 3u);
  EXPECT_EQ(Index.Path(1), Lib);
  EXPECT_EQ(Index.UnitName(2), "Zed");
  EXPECT_EQ(Index.Declarations(), 2u);  // Lib's Run and New

  EXPECT_FALSE(Index.Find("old").Found());
  EXPECT_FALSE(Index.Find("spare").Found());
  TFindResult Found = Index.Find("new");
  ASSERT_EQ(Found.Hits.size(), 1u);
  EXPECT_EQ(Found.Hits[0].Unit, 1u);
  const std::vector<TFindUser> Users = Index.UsersOf(Found.Hits[0]);
  ASSERT_EQ(Users.size(), 1u);
  EXPECT_EQ(Users[0].Path, Zed);
  Found = Index.Find("lib");
  ASSERT_EQ(Found.Units.size(), 1u);
  EXPECT_EQ(Found.Units[0].Files, std::vector<uint32_t>({1}));
  ASSERT_EQ(Found.Units[0].Users.size(), 2u);  // App and Zed; Tool is gone
  EXPECT_EQ(Found.Units[0].Users[0].Path, App);
  EXPECT_EQ(Found.Units[0].Users[1].Path, Zed);

  Index.Reorder({});
  EXPECT_EQ(Index.Size(), 0u);
  EXPECT_FALSE(Index.Find("*").Found());
  std::error_code E;
  fs::remove_all(Root, E);
}
