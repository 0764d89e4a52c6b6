// Strict UTF-8 for password text and messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "utf8_sequence.h"

namespace ferrune::cli {

using ferrune::AppendUtf8;

// Null for anything that is not UTF-8 throughout.
std::optional<std::u32string> DecodeUtf8(const std::uint8_t* data, std::size_t size);

}  // namespace ferrune::cli
