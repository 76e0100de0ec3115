// The node libraries beside the program.
#include "ComRuntime.h"
#include "ComponentSetup.h"
#include "Identities.h"
#include "Registry.h"

#include <QTemporaryDir>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

// Unless a registry is named on purpose, the program creates its nodes from
// the libraries beside it, whatever the user's registry points at (here a
// copy elsewhere, as a build tree's libraries would be), and writes nothing.
TEST(ComponentSetupTest, TheProgramCreatesItsNodesFromTheLibrariesBesideIt) {
  unsetenv("VORELAN_COMPONENT_REGISTRY");  // the user's own registry, in this test's private home
  QTemporaryDir elsewhere;
  const std::string copy = elsewhere.filePath("librs232.so").toStdString();
  std::filesystem::copy_file(RS232_LIBRARY, copy);
  const std::string key = "CLSID\\" + GuidToString(CLSID_RS232Node) + "\\InprocServer32";
  std::string error;
  ASSERT_TRUE(ComponentRegistry::Edit([&](ComponentRegistry& r) { r.Set(key, "", copy); }, &error)) << error;
  const std::string bin = std::filesystem::path(RS232_LIBRARY).parent_path().string() + "/../bin";
  const auto libraryOf = [](REFCLSID clsid) {
    IUnknown* node = nullptr;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IUnknown, reinterpret_cast<void**>(&node))))
      return std::string("not created");
    Dl_info info{};
    dladdr(*reinterpret_cast<void**>(node), &info);  // where the object's code lives
    node->Release();
    return std::filesystem::canonical(info.dli_fname).string();
  };

  for (const bool named : {true, false}) {
    named ? setenv("VORELAN_COMPONENT_REGISTRY", ComponentRegistry::Path().c_str(), 1)
          : unsetenv("VORELAN_COMPONENT_REGISTRY");
    EXPECT_TRUE(ComponentSetup::ensureRegistered(bin).empty());
    EXPECT_EQ(libraryOf(CLSID_RS232Node), std::filesystem::canonical(named ? copy : RS232_LIBRARY).string());
  }
  EXPECT_EQ(ComponentRegistry::Load().Get(key), copy);
  EXPECT_EQ(ComponentSetup::ensureRegistered("/nonexistent/bin").size(), ComponentSetup::nodeLibraries().size());
}

}  // namespace
