// The context-menu verbs, the ".zrv" file type and its icon, kept in the
// current user's classes key (no elevation needed; Windows merges it into
// HKEY_CLASSES_ROOT for the shell).
#pragma once

#include <string>

#include "shell/registry_api.h"
#include "shell/registry_object.h"

namespace ferrune {

inline constexpr RegistryRoot kUserClassesRoot{RootKey::CurrentUser, L"Software\\Classes"};
inline constexpr RegistryRoot kMachineClassesRoot{RootKey::ClassesRoot, L""};

// Drops the earlier layout's keys, then writes the seven default values.
// Throws RegistryError ("Failed to set data for ''") when a write or an open
// is refused; what was written before stays.
void RegisterShellIntegration(RegistryApi& api, const std::wstring& programPath);

// Deletes the verb, the extension and the file type with their subtrees, per
// user and then below HKEY_CLASSES_ROOT where allowed. Registry failures are
// passed over.
void RemoveShellIntegration(RegistryApi& api);

}  // namespace ferrune
