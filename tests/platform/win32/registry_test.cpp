// The entries on the real registry of the Wine test prefix, read back with
// plain Win32 calls. Wine does not merge the per-user classes into
// HKEY_CLASSES_ROOT, so the per-user key is read directly.
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>

#include "platform/win32/win32_registry.h"
#include "shell/shell_integration.h"

namespace ferrune {
namespace {

const std::wstring kClasses = L"Software\\Classes\\";
const wchar_t* const kTops[] = {L"*\\Shell\\Encrypt with Ferrune", L"*\\Shell\\FerruneFileCrypt", L".zrv",
                                L"Ferrune File"};

std::optional<std::wstring> DefaultValue(HKEY root, const std::wstring& path) {
  DWORD bytes = 0;
  if (RegGetValueW(root, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) != ERROR_SUCCESS)
    return std::nullopt;
  std::wstring text(bytes / sizeof(wchar_t), L'\0');
  if (RegGetValueW(root, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, text.data(), &bytes) != ERROR_SUCCESS)
    return std::nullopt;
  text.resize(bytes / sizeof(wchar_t) - 1);
  return text;
}

// The stored size, which counts the terminating zero.
DWORD StoredBytes(HKEY root, const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  DWORD type = 0;
  DWORD bytes = 0;
  const LSTATUS status = RegQueryValueExW(key, L"", nullptr, &type, nullptr, &bytes);
  RegCloseKey(key);
  return status == ERROR_SUCCESS && type == REG_SZ ? bytes : 0;
}

bool Exists(HKEY root, const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

void Put(HKEY root, const std::wstring& path, const std::wstring& text) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
  const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
  EXPECT_EQ(RegSetValueExW(key, L"", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes), ERROR_SUCCESS);
  RegCloseKey(key);
}

class PlatformRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }
  static void Clean() {
    for (const wchar_t* top : kTops) {
      RegDeleteTreeW(HKEY_CURRENT_USER, (kClasses + top).c_str());
      RegDeleteTreeW(HKEY_CLASSES_ROOT, top);
    }
  }
};

TEST_F(PlatformRegistryTest, RegisterWritesTheValuesPerUserWithLongAndWidePaths) {
  // Blanks, a character outside the ANSI code page and more than 260 characters.
  const std::wstring program = L"C:\\Program Files\\\u03a9 Ferrune\\" + std::wstring(280, L'd') + L"\\ferrune.exe";
  RegisterShellIntegration(PlatformRegistry(), program);

  const std::wstring encrypt = L"\"" + program + L"\" \"%1\" /crypt";
  const std::wstring decrypt = L"\"" + program + L"\" \"%1\" /encrypt";
  const std::pair<const wchar_t*, std::wstring> expected[] = {
      {L"*\\Shell\\Encrypt with Ferrune", L"Encrypt with Ferrune"},
      {L"*\\Shell\\Encrypt with Ferrune\\command", encrypt},
      {L".zrv", L"Ferrune File"},
      {L"Ferrune File", L"Encrypted file Ferrune"},
      {L"Ferrune File\\Shell\\Decrypt", L"Decrypt with Ferrune"},
      {L"Ferrune File\\Shell\\Decrypt\\command", decrypt},
      {L"Ferrune File\\DefaultIcon", program + L",0"},
  };
  for (const auto& [path, text] : expected) {
    SCOPED_TRACE(::testing::Message() << path);
    EXPECT_EQ(DefaultValue(HKEY_CURRENT_USER, kClasses + path), text);
    EXPECT_EQ(StoredBytes(HKEY_CURRENT_USER, kClasses + path), (text.size() + 1) * sizeof(wchar_t));
  }
  EXPECT_TRUE(Exists(HKEY_CURRENT_USER, kClasses + L"Ferrune File\\Shell"));
  EXPECT_EQ(DefaultValue(HKEY_CURRENT_USER, kClasses + L"Ferrune File\\Shell"), std::nullopt);
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, L".zrv"));
}

TEST_F(PlatformRegistryTest, RegisterDropsTheEarlierLayoutAndKeepsOtherSubkeys) {
  Put(HKEY_CURRENT_USER, kClasses + L"*\\Shell\\FerruneFileCrypt\\command", L"old");
  Put(HKEY_CURRENT_USER, kClasses + L"Ferrune File\\Shell\\Open\\command", L"old");
  Put(HKEY_CURRENT_USER, kClasses + L"Ferrune File\\Other\\Deep", L"foreign");
  RegisterShellIntegration(PlatformRegistry(), L"C:\\F\\ferrune.exe");
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, kClasses + L"*\\Shell\\FerruneFileCrypt"));
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, kClasses + L"Ferrune File\\Shell\\Open"));
  EXPECT_EQ(DefaultValue(HKEY_CURRENT_USER, kClasses + L"Ferrune File\\Other\\Deep"), L"foreign");
  EXPECT_EQ(DefaultValue(HKEY_CURRENT_USER, kClasses + L"Ferrune File\\Shell\\Decrypt\\command"),
            L"\"C:\\F\\ferrune.exe\" \"%1\" /encrypt");
}

TEST_F(PlatformRegistryTest, RemoveTakesWholeSubtreesAndRegisterBringsThemBack) {
  RegisterShellIntegration(PlatformRegistry(), L"C:\\F\\ferrune.exe");
  Put(HKEY_CURRENT_USER, kClasses + L".zrv\\OpenWithProgids\\a\\b\\c", L"foreign");
  Put(HKEY_CURRENT_USER, kClasses + L"Ferrune File\\Shell\\Print\\command", L"foreign");
  Put(HKEY_CLASSES_ROOT, L".zrv\\x\\y", L"machine-wide");
  Put(HKEY_CLASSES_ROOT, L"Ferrune File\\DefaultIcon", L"machine-wide");

  RemoveShellIntegration(PlatformRegistry());
  for (const wchar_t* top : {L"*\\Shell\\Encrypt with Ferrune", L".zrv", L"Ferrune File"}) {
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, kClasses + top));
    EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, top));
  }
  // The keys the registration made above the verb go when nothing else is in them.
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, kClasses + L"*"));

  RemoveShellIntegration(PlatformRegistry());  // nothing left to remove

  RegisterShellIntegration(PlatformRegistry(), L"C:\\F\\ferrune.exe");
  EXPECT_EQ(DefaultValue(HKEY_CURRENT_USER, kClasses + L".zrv"), L"Ferrune File");
  EXPECT_EQ(DefaultValue(HKEY_CURRENT_USER, kClasses + L"Ferrune File\\DefaultIcon"), L"C:\\F\\ferrune.exe,0");
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, kClasses + L".zrv\\OpenWithProgids"));
}

}  // namespace
}  // namespace ferrune
