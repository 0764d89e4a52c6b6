#include "app/logic/dispatch.h"

#include "app/logic/command_line.h"
#include "core/output_names.h"
#include "core/path_rules.h"

namespace ferrune {

DispatchResult Dispatch(std::wstring_view commandLine) {
  static constexpr std::wstring_view kDecryptSwitch = L"/encrypt";
  const int count = ArgumentCount(commandLine);
  // The switch is compared twice: ignoring case to decide whether a ".zrv"
  // file is "already encrypted", exactly to decide the direction.
  const bool switchLoose = count >= 2 && SameTextAscii(ArgumentAt(commandLine, 2), kDecryptSwitch);
  if (count == 0) return {PageChoice::Information, {}};

  const std::wstring first = ArgumentAt(commandLine, 1);
  if (IsEncryptedName(first, NameCase::Exact) && !switchLoose) return {PageChoice::AlreadyEncrypted, {}};

  DispatchResult result;
  result.targetFile = first;
  result.choice = ArgumentAt(commandLine, 2) == kDecryptSwitch ? PageChoice::Decrypt : PageChoice::Encrypt;
  return result;
}

}  // namespace ferrune
