// The narrow seam between the registry object and the platform registry, so
// that refusals the test registry cannot produce can be tested against a fake.
#pragma once

#include <cstdint>
#include <string>

namespace ferrune {

// An open key or a predefined root; on Windows an HKEY.
using RegHandle = void*;

// Win32 status codes: 0 is success, anything else a refusal or failure.
using RegStatus = long;
inline constexpr RegStatus kRegOk = 0;

// KEY_ALL_ACCESS, asked for by every open and create.
inline constexpr std::uint32_t kKeyAllAccess = 0xF003F;

enum class RootKey { LocalMachine, CurrentUser };

class RegistryApi {
 public:
  virtual ~RegistryApi() = default;

  // A predefined key; never closed.
  virtual RegHandle Root(RootKey which) = 0;
  virtual RegStatus OpenKey(RegHandle base, const std::wstring& subKey, std::uint32_t access, RegHandle* key) = 0;
  // Opens the key, making it and any missing key on its path.
  virtual RegStatus CreateKey(RegHandle base, const std::wstring& subKey, std::uint32_t access, RegHandle* key) = 0;
  // The key's unnamed value, as REG_SZ.
  virtual RegStatus SetDefaultString(RegHandle key, const std::wstring& text) = 0;
  virtual RegStatus QuerySubKeys(RegHandle key, std::uint32_t* count, std::uint32_t* longestNameChars) = 0;
  // How many values the key holds, its default value included.
  virtual RegStatus CountValues(RegHandle key, std::uint32_t* count) = 0;
  // bufferChars counts the terminator, as RegEnumKeyExW does.
  virtual RegStatus EnumSubKey(RegHandle key, std::uint32_t index, std::uint32_t bufferChars, std::wstring* name) = 0;
  // Deletes one key without subkeys below base.
  virtual RegStatus DeleteKey(RegHandle base, const std::wstring& subKey) = 0;
  virtual RegStatus CloseKey(RegHandle key) = 0;
};

}  // namespace ferrune
