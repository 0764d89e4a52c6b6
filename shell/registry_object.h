// A small registry object: a root, one current key and its path. Absolute
// paths ("\...") start at the root, others at the current key. Every open and
// create asks for KEY_ALL_ACCESS; every key it opens is closed on every path.
#pragma once

#include <string>
#include <string_view>

#include "shell/owned_key.h"
#include "shell/registry_api.h"

namespace ferrune {

// A predefined key and the path below it that absolute paths start from, so
// that per-user classes live at HKEY_CURRENT_USER + "Software\Classes".
struct RegistryRoot {
  RootKey key;
  std::wstring_view prefix;
};

class RegistryObject {
 public:
  RegistryObject(RegistryApi& api, RegistryRoot root);
  RegistryObject(RegistryObject&&) noexcept = default;
  RegistryObject& operator=(RegistryObject&&) noexcept = default;
  RegistryObject(const RegistryObject&) = delete;
  RegistryObject& operator=(const RegistryObject&) = delete;
  ~RegistryObject() = default;

  // False leaves the current key as it was.
  bool OpenKey(std::wstring_view path, bool create);
  // Removes the key with its whole subtree; true when the key itself went.
  bool DeleteKey(std::wstring_view path);
  // Removes the key only when it holds neither subkeys nor values.
  bool DeleteKeyIfEmpty(std::wstring_view path);
  // Throws RegistryError when refused or when no key is current.
  void WriteDefaultString(const std::wstring& text);

  bool HasCurrentKey() const { return bool(current_); }
  const std::wstring& CurrentPath() const { return currentPath_; }

 private:
  struct Resolved {
    RegHandle base;
    std::wstring subKey;  // as the platform call gets it
    std::wstring path;    // what the current path becomes
  };
  // Swaps a key and its path in as current, and back out when it goes.
  class ScopedCurrent {
   public:
    ScopedCurrent(RegistryObject& self, OwnedKey& key, std::wstring& path) noexcept;
    ~ScopedCurrent();
    ScopedCurrent(const ScopedCurrent&) = delete;
    ScopedCurrent& operator=(const ScopedCurrent&) = delete;

   private:
    RegistryObject& self_;
    OwnedKey& key_;
    std::wstring& path_;
  };

  Resolved Resolve(std::wstring_view path) const;
  void DeleteSubtreeOf(RegHandle target);

  RegistryApi* api_;
  RegHandle root_;
  std::wstring prefix_;
  OwnedKey current_;
  std::wstring currentPath_;
};

}  // namespace ferrune
