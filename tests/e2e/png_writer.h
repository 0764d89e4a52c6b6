// A minimal PNG writer (stored deflate blocks) for the tests' screenshots.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace e2e {

// `rgb` holds width * height * 3 bytes, top row first.
std::string EncodePng(int width, int height, const std::vector<std::uint8_t>& rgb);

}  // namespace e2e
