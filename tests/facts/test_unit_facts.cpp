// The facts library: TryLoadUnit on good, damaged and missing files and with
// a callback that takes more or fails; the JSON object of a unit file in
// both layouts.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "DCU_Unit.h"
#include "SampleUnits.h"
#include "UnitBuilder.h"
#include "UnitFactsJson.h"
#include "UnitLoad.h"

namespace fs = std::filesystem;

namespace {

// A file of Bytes in a folder of its own, removed with the object.
class TUnitFile {
 public:
  explicit TUnitFile(const std::vector<uint8_t>& Bytes, const std::string& Name = "Unit.dcu") {
    static int Counter = 0;
    Dir = fs::temp_directory_path() / ("unitpeek-facts-" + std::to_string(::getpid()) + "-" + std::to_string(++Counter));
    fs::create_directories(Dir);
    Path = (Dir / Name).string();
    unitbuilder::WriteUnitFile(Path, Bytes);
  }
  ~TUnitFile() {
    std::error_code E;
    fs::remove_all(Dir, E);
  }
  fs::path Dir;
  std::string Path;
};

// The text of the reader error that loading Bytes from memory raises.
std::string DirectError(const std::vector<uint8_t>& Bytes, const std::string& Path) {
  UnitConstructionCount = 0;
  try {
    TUnit U(Path, std::span<const uint8_t>(Bytes));
  } catch (const EDCUReadError& E) {
    return E.Text();
  }
  return "";
}

}  // namespace

TEST(TryLoadUnit, AGoodFileGivesItsFactsAndTheCallbackSeesTheLiveUnit) {
  TUnitFile F(unitbuilder::DemoUnit(7));
  std::string SeenName;
  size_t SeenUses = 0;
  const TUnitLoad L = TryLoadUnit(F.Path, [&](const TUnit& U) {
    SeenName = U.UnitName;
    SeenUses = U.UsedUnits.size();
    EXPECT_EQ(ActiveUnit, &U);
  });
  EXPECT_EQ(ActiveUnit, nullptr);  // released
  ASSERT_TRUE(L.Facts);
  EXPECT_EQ(L.Error, "");
  EXPECT_EQ(L.FailOffset, -1);
  EXPECT_EQ(L.Facts->UnitName, "Demo");
  EXPECT_EQ(L.Facts->Version, 7);
  EXPECT_EQ(SeenName, "Demo");
  EXPECT_EQ(SeenUses, L.Facts->UsedUnits.size());
  EXPECT_TRUE(L.Facts->DebugInfo);
}

TEST(TryLoadUnit, ADamagedFileGivesTheReaderErrorWithItsPlace) {
  std::vector<uint8_t> Bytes = unitbuilder::DemoUnit(7);
  Bytes.resize(Bytes.size() / 2);
  unitbuilder::PatchStoredLength(Bytes);
  TUnitFile F(Bytes);
  const std::string Expected = DirectError(Bytes, F.Path);
  ASSERT_NE(Expected, "");
  bool Called = false;
  UnitConstructionCount = 0;
  const TUnitLoad L = TryLoadUnit(F.Path, [&](const TUnit&) { Called = true; });
  EXPECT_FALSE(L.Facts);
  EXPECT_FALSE(Called);
  EXPECT_EQ(L.Error, Expected);
  EXPECT_GE(L.FailOffset, 0);
  EXPECT_LE(L.FailOffset, static_cast<int64_t>(Bytes.size()));
  EXPECT_EQ(FirstUnit, nullptr);
  EXPECT_EQ(ActiveUnit, nullptr);
}

TEST(TryLoadUnit, AMissingFileOrAFailingCallbackGiveTheirText) {
  const TUnitLoad Missing = TryLoadUnit("/nonexistent/None.dcu");
  EXPECT_FALSE(Missing.Facts);
  EXPECT_NE(Missing.Error.find("/nonexistent/None.dcu"), std::string::npos) << Missing.Error;

  TUnitFile F(unitbuilder::DemoUnit(3));
  const TUnitLoad Failed = TryLoadUnit(F.Path, [](const TUnit&) { throw std::runtime_error("taken badly"); });
  EXPECT_FALSE(Failed.Facts);
  EXPECT_EQ(Failed.Error, "taken badly");
  EXPECT_EQ(Failed.FailOffset, -1);
  // The unit is released on the way out; the next load works.
  EXPECT_TRUE(TryLoadUnit(F.Path).Facts);
}

TEST(UnitFactsJson, KeysInAlphabeticalOrderInEitherLayout) {
  TUnitFile F(unitbuilder::DemoUnit(7), "odd\xFF.dcu");
  const TUnitLoad L = TryLoadUnit(F.Path);
  ASSERT_TRUE(L.Facts);
  std::string Pretty, Flat;
  {
    TJsonWriter J(Pretty);
    WriteUnitFactsJson(J, F.Path, &*L.Facts, "", [](TJsonWriter& D) {
      D.BeginObject();
      D.EndObject();
    });
  }
  {
    TJsonWriter J(Flat, TJsonLayout::Flat);
    WriteUnitFactsJson(J, F.Path, &*L.Facts, "");
  }
  const nlohmann::json P = nlohmann::json::parse(Pretty);
  EXPECT_EQ(Pretty, P.dump(2));  // nlohmann's objects sort their keys
  const nlohmann::json Q = nlohmann::json::parse(Flat);
  EXPECT_EQ(Flat, Q.dump());
  EXPECT_EQ(P["decls"], nlohmann::json::object());
  EXPECT_FALSE(Q.contains("decls"));
  EXPECT_EQ(Q["path"], F.Dir.string() + "/odd\xEF\xBF\xBD.dcu");
  EXPECT_EQ(Q["uses"]["interface"], nlohmann::json({"SysUtils", "Classes"}));
  EXPECT_EQ(Q["stats"]["localVars"], 3);

  std::string Failed;
  {
    TJsonWriter J(Failed, TJsonLayout::Flat);
    WriteUnitFactsJson(J, "x.dcu", nullptr, std::string("Error at \x01\x85", 11));
  }
  EXPECT_EQ(Failed, "{\"error\":\"Error at ^A\xE2\x80\xA6\",\"ok\":false,\"path\":\"x.dcu\"}");
}
