#include "platform/win32/win32_registry.h"

#include <windows.h>

#include <limits>
#include <vector>

namespace ferrune {
namespace {

static_assert(kKeyAllAccess == KEY_ALL_ACCESS);

HKEY ToHkey(RegHandle h) { return static_cast<HKEY>(h); }

class Win32Registry final : public RegistryApi {
 public:
  RegHandle Root(RootKey which) override {
    return which == RootKey::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
  }

  RegStatus OpenKey(RegHandle base, const std::wstring& subKey, std::uint32_t access, RegHandle* key) override {
    HKEY opened = nullptr;
    const LSTATUS status = RegOpenKeyExW(ToHkey(base), subKey.c_str(), 0, access, &opened);
    *key = status == ERROR_SUCCESS ? opened : nullptr;
    return status;
  }

  RegStatus CreateKey(RegHandle base, const std::wstring& subKey, std::uint32_t access, RegHandle* key) override {
    HKEY opened = nullptr;
    const LSTATUS status = RegCreateKeyExW(ToHkey(base), subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                           nullptr, &opened, nullptr);
    *key = status == ERROR_SUCCESS ? opened : nullptr;
    return status;
  }

  RegStatus SetDefaultString(RegHandle key, const std::wstring& text) override {
    // The stored size counts the terminating zero.
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    if (bytes > std::numeric_limits<DWORD>::max()) return ERROR_INVALID_PARAMETER;
    return RegSetValueExW(ToHkey(key), L"", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(bytes));
  }

  RegStatus QuerySubKeys(RegHandle key, std::uint32_t* count, std::uint32_t* longestNameChars) override {
    DWORD subKeys = 0;
    DWORD longest = 0;
    const LSTATUS status = RegQueryInfoKeyW(ToHkey(key), nullptr, nullptr, nullptr, &subKeys, &longest, nullptr,
                                            nullptr, nullptr, nullptr, nullptr, nullptr);
    *count = status == ERROR_SUCCESS ? subKeys : 0;
    *longestNameChars = status == ERROR_SUCCESS ? longest : 0;
    return status;
  }

  RegStatus CountValues(RegHandle key, std::uint32_t* count) override {
    DWORD values = 0;
    const LSTATUS status = RegQueryInfoKeyW(ToHkey(key), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                                            nullptr, nullptr, nullptr, nullptr);
    *count = status == ERROR_SUCCESS ? values : 0;
    return status;
  }

  RegStatus EnumSubKey(RegHandle key, std::uint32_t index, std::uint32_t bufferChars, std::wstring* name) override {
    std::vector<wchar_t> buffer(bufferChars == 0 ? 1 : bufferChars);
    DWORD chars = static_cast<DWORD>(buffer.size());
    const LSTATUS status = RegEnumKeyExW(ToHkey(key), index, buffer.data(), &chars, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS) name->assign(buffer.data(), chars);
    return status;
  }

  RegStatus DeleteKey(RegHandle base, const std::wstring& subKey) override {
    return RegDeleteKeyW(ToHkey(base), subKey.c_str());
  }

  RegStatus CloseKey(RegHandle key) override { return RegCloseKey(ToHkey(key)); }
};

}  // namespace

RegistryApi& PlatformRegistry() {
  static Win32Registry registry;
  return registry;
}

}  // namespace ferrune
