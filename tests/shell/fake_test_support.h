// Shared by the tests that run against the fake registry.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "shell/registry_error.h"
#include "tests/shell/fake_registry.h"

namespace ferrune::testing {

// A key below the per-user classes key, given as "\Name\...".
inline std::wstring UserClasses(std::wstring_view sub) { return L"HKCU\\Software\\Classes" + std::wstring(sub); }
inline std::wstring MachineClasses(std::wstring_view sub) { return L"HKLM\\Software\\Classes" + std::wstring(sub); }

template <typename F>
void ExpectSetDataError(F&& f) {
  try {
    f();
    ADD_FAILURE() << "no RegistryError";
  } catch (const RegistryError& e) {
    EXPECT_STREQ(e.what(), "Failed to set data for ''");
  }
}

// Every handle the code opened is closed again, exactly once.
class FakeRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { fake.AddKey(UserClasses(L"")); }
  void TearDown() override {
    EXPECT_EQ(fake.OpenHandles(), 0u);
    EXPECT_EQ(fake.BadCloses(), 0u);
  }
  FakeRegistry fake;
};

}  // namespace ferrune::testing
