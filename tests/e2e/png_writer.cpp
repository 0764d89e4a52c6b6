#include "tests/e2e/png_writer.h"

#include <array>

namespace e2e {
namespace {

std::uint32_t Crc32(const std::string& data, std::size_t from) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  std::uint32_t c = 0xFFFFFFFFu;
  for (std::size_t i = from; i < data.size(); ++i) c = table[(c ^ std::uint8_t(data[i])) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

void Be32(std::string& out, std::uint32_t v) {
  out += char(v >> 24);
  out += char(v >> 16);
  out += char(v >> 8);
  out += char(v);
}

void Chunk(std::string& out, const char* type, const std::string& body) {
  Be32(out, std::uint32_t(body.size()));
  const std::size_t start = out.size();
  out += type;
  out += body;
  Be32(out, Crc32(out, start));
}

}  // namespace

std::string EncodePng(int width, int height, const std::vector<std::uint8_t>& rgb) {
  std::string raw;
  for (int y = 0; y < height; ++y) {
    raw += '\0';  // no filter
    raw.append(reinterpret_cast<const char*>(rgb.data()) + std::size_t(y) * std::size_t(width) * 3,
               std::size_t(width) * 3);
  }
  std::string z = "\x78\x01";
  std::uint32_t a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  for (std::size_t pos = 0; pos < raw.size() || pos == 0;) {
    const std::size_t n = std::min<std::size_t>(65535, raw.size() - pos);
    const bool last = pos + n >= raw.size();
    z += char(last ? 1 : 0);
    z += char(n & 0xFF);
    z += char(n >> 8);
    z += char(~n & 0xFF);
    z += char((~n >> 8) & 0xFF);
    z.append(raw, pos, n);
    pos += n;
    if (last) break;
  }
  Be32(z, (b << 16) | a);

  std::string png = "\x89PNG\r\n\x1a\n";
  std::string ihdr;
  Be32(ihdr, std::uint32_t(width));
  Be32(ihdr, std::uint32_t(height));
  ihdr += "\x08\x02";  // 8 bits, RGB
  ihdr += std::string(3, '\0');
  Chunk(png, "IHDR", ihdr);
  Chunk(png, "IDAT", z);
  Chunk(png, "IEND", "");
  return png;
}

}  // namespace e2e
