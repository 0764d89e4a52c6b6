#include "shell/shell_integration.h"

#include <string_view>

#include "shell/registry_error.h"
#include "shell/shell_texts.h"

namespace ferrune {
namespace {

constexpr std::wstring_view kVerbKey = L"\\*\\Shell\\Encrypt with Ferrune";
constexpr std::wstring_view kExtensionKey = L"\\.zrv";
constexpr std::wstring_view kFileTypeKey = L"\\Ferrune File";
// The earlier layout's verbs.
constexpr std::wstring_view kEarlierVerbKey = L"\\*\\Shell\\FerruneFileCrypt";
constexpr std::wstring_view kEarlierOpenKey = L"\\Ferrune File\\Shell\\Open";

// A failed open would leave another key current and the next write would
// land there, so it stops the writing like a refused write.
void Open(RegistryObject& reg, std::wstring_view path, bool create) {
  if (!reg.OpenKey(path, create)) throw RegistryError(SetDataFailedMessage(""));
}

void DropIfPresent(RegistryObject& reg, std::wstring_view path) {
  if (reg.OpenKey(path, false)) reg.DeleteKey(path);
}

// Machine-wide the opens fail without the right to delete, and the keys stay.
void DropEarlierLayout(RegistryApi& api, RegistryRoot root) {
  RegistryObject reg(api, root);
  DropIfPresent(reg, kEarlierVerbKey);
  DropIfPresent(reg, kEarlierOpenKey);
}

void RemoveFrom(RegistryApi& api, RegistryRoot root) {
  RegistryObject reg(api, root);
  reg.DeleteKey(kVerbKey);
  reg.DeleteKey(kEarlierVerbKey);
  reg.DeleteKey(kExtensionKey);
  reg.DeleteKey(kFileTypeKey);
}

}  // namespace

void RegisterShellIntegration(RegistryApi& api, const std::wstring& programPath) {
  DropEarlierLayout(api, kUserClassesRoot);
  DropEarlierLayout(api, kMachineClassesRoot);

  RegistryObject reg(api, kUserClassesRoot);
  Open(reg, kVerbKey, true);
  reg.WriteDefaultString(L"Encrypt with Ferrune");
  Open(reg, L"command", true);
  reg.WriteDefaultString(EncryptCommand(programPath));

  Open(reg, kExtensionKey, true);
  reg.WriteDefaultString(L"Ferrune File");

  Open(reg, kFileTypeKey, true);
  reg.WriteDefaultString(L"Encrypted file Ferrune");
  Open(reg, L"\\Ferrune File\\Shell\\Decrypt", true);
  reg.WriteDefaultString(L"Decrypt with Ferrune");
  Open(reg, L"command", true);
  reg.WriteDefaultString(DecryptCommand(programPath));

  Open(reg, kFileTypeKey, false);
  Open(reg, L"DefaultIcon", true);
  reg.WriteDefaultString(IconLocation(programPath));
}

void RemoveShellIntegration(RegistryApi& api) {
  // Per-user first: on Windows the merged view shows those before the
  // machine-wide ones.
  RemoveFrom(api, kUserClassesRoot);
  {
    // The first start made these above the verb; another program's keys or
    // values in them keep them.
    RegistryObject user(api, kUserClassesRoot);
    user.DeleteKeyIfEmpty(L"\\*\\Shell");
    user.DeleteKeyIfEmpty(L"\\*");
  }
  RemoveFrom(api, kMachineClassesRoot);
}

}  // namespace ferrune
