// The context-menu verbs, the ".zrv" file type and its icon, kept in the
// current user's classes key (no elevation needed; Windows merges it into
// HKEY_CLASSES_ROOT for the shell).
#pragma once

#include <string>

#include "shell/registry_api.h"
#include "shell/registry_object.h"

namespace ferrune {

inline constexpr RegistryRoot kUserClassesRoot{RootKey::CurrentUser, L"Software\\Classes"};
// Where an install for all users kept its entries; HKEY_CLASSES_ROOT shows
// them beside the user's own.
inline constexpr RegistryRoot kMachineClassesRoot{RootKey::LocalMachine, L"Software\\Classes"};

// Drops the earlier layout's keys (per user, then machine-wide where the
// user may), then writes the seven default values per user. Throws
// RegistryError ("Failed to set data for ''") when a write or an open is
// refused; what was written before stays.
void RegisterShellIntegration(RegistryApi& api, const std::wstring& programPath);

// Deletes the verb, the extension, the file type and the earlier layout's
// verb with their subtrees, per user and then machine-wide where allowed;
// per user also the "*\Shell" and "*" keys above the verb when nothing else
// is in them. Registry failures are passed over.
void RemoveShellIntegration(RegistryApi& api);

}  // namespace ferrune
