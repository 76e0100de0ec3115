// The component registry file: parsing, subtree removal and concurrent edits.
#include <gtest/gtest.h>
#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <thread>
#include <vector>

#include "Registry.h"

namespace {
class RegistryFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("vorelan-reg-" + std::to_string(getpid()) + "-" +
                                                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    // A folder that does not exist yet: Edit must create it.
    setenv("VORELAN_COMPONENT_REGISTRY", (dir_ / "sub" / "components.reg").c_str(), 1);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
};
}  // namespace

TEST_F(RegistryFile, ParsesWhatItWritesAndIgnoresJunkLines) {
  ComponentRegistry reg;
  reg.Set("CLSID\\{A}", "", "Default value");
  reg.Set("CLSID\\{A}\\InprocServer32", "ThreadingModel", "Both");
  reg.Set("Key", "multi", "line\nbreak");
  const ComponentRegistry back = ComponentRegistry::Parse(reg.Serialize() + "garbage line\n[unterminated\n");
  EXPECT_EQ(back.Get("clsid\\{a}"), "Default value");  // letter case does not matter
  EXPECT_EQ(back.Get("CLSID\\{A}\\InprocServer32", "threadingmodel"), "Both");
  EXPECT_EQ(back.Get("Key", "multi"), "line break");  // one value stays one line
  EXPECT_FALSE(back.Get("CLSID\\{A}", "missing").has_value());
  EXPECT_FALSE(back.Get("Nope").has_value());
}

TEST(Registry, AnInnerCarriageReturnIsReadAsTheSpaceItIsWrittenAs) {
  // Keys and names differing only there would otherwise become one on writing.
  const ComponentRegistry read = ComponentRegistry::Parse("[k\r1]\nx\ry=1\n[k 1]\nx y=2\n");
  EXPECT_EQ(read.keys().size(), 1u);
  EXPECT_EQ(ComponentRegistry::Parse(read.Serialize()).Serialize(), read.Serialize());
}

TEST_F(RegistryFile, DeleteTreeRemovesSubkeysButNotKeysThatOnlyShareAPrefix) {
  ComponentRegistry reg;
  reg.Set("CLSID\\{A}", "", "a");
  reg.Set("CLSID\\{A}\\ProgID", "", "a.1");
  reg.Set("CLSID\\{A}X", "", "other");
  reg.DeleteTree("clsid\\{a}");
  EXPECT_FALSE(reg.Get("CLSID\\{A}").has_value());
  EXPECT_FALSE(reg.Get("CLSID\\{A}\\ProgID").has_value());
  EXPECT_EQ(reg.Get("CLSID\\{A}X"), "other");
}

TEST_F(RegistryFile, ConcurrentEditsLoseNothing) {
  std::vector<std::thread> writers;
  for (int t = 0; t < 8; ++t)
    writers.emplace_back([t] {
      for (int i = 0; i < 10; ++i) {
        std::string error;
        ASSERT_TRUE(ComponentRegistry::Edit(
            [&](ComponentRegistry& reg) { reg.Set("T" + std::to_string(t), std::to_string(i), "v"); }, &error))
            << error;
      }
    });
  for (auto& w : writers) w.join();
  const ComponentRegistry reg = ComponentRegistry::Load();
  for (int t = 0; t < 8; ++t)
    for (int i = 0; i < 10; ++i) EXPECT_TRUE(reg.Get("T" + std::to_string(t), std::to_string(i)).has_value());
}

TEST_F(RegistryFile, EditReportsAnUnwritableLocation) {
  setenv("VORELAN_COMPONENT_REGISTRY", "/proc/vorelan-no-such-place/components.reg", 1);
  std::string error;
  EXPECT_FALSE(ComponentRegistry::Edit([](ComponentRegistry& reg) { reg.Set("K", "", "v"); }, &error));
  EXPECT_FALSE(error.empty());
}

// Without the variable the registry is the user's own, and with no HOME
// either it is found through the user database: never in a shared folder
// such as /tmp, where another user could have put one first.
TEST_F(RegistryFile, TheUsersRegistryLivesInTheirDataFolder) {
  const std::string fromUserDatabase = getpwuid(getuid())->pw_dir + std::string("/.local/share/vorelan/components.reg");
  const struct {
    const char *dataHome, *home;
    std::string expected;
  } rows[] = {{"/data", "/home/x", "/data/vorelan/components.reg"},
              {nullptr, "/home/x", "/home/x/.local/share/vorelan/components.reg"},
              {"relative", "/home/x", "/home/x/.local/share/vorelan/components.reg"},
              {nullptr, nullptr, fromUserDatabase}};
  unsetenv("VORELAN_COMPONENT_REGISTRY");
  for (const auto& row : rows) {
    row.dataHome ? setenv("XDG_DATA_HOME", row.dataHome, 1) : unsetenv("XDG_DATA_HOME");
    row.home ? setenv("HOME", row.home, 1) : unsetenv("HOME");
    EXPECT_EQ(ComponentRegistry::Path(), row.expected);
  }
}
