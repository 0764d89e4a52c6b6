#include "shell/registry_error.h"

#include "core/texts.h"

namespace ferrune {

std::string SetDataFailedMessage(std::string_view valueName) {
  return texts::Filled(texts::kSetDataFailed, {valueName});
}

}  // namespace ferrune
