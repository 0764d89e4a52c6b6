#include "core/format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace ferrune::format {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Image(const char* magic, std::uint32_t k, std::uint32_t s, std::size_t bodyBytes) {
  Bytes image(kHeaderSize + bodyBytes, 0xAB);
  std::memcpy(image.data(), magic, kMagicSize);
  for (int i = 0; i < 4; ++i) {
    image[kKeyBlobLengthOffset + i] = static_cast<std::uint8_t>(k >> (8 * i));
    image[kSignatureLengthOffset + i] = static_cast<std::uint8_t>(s >> (8 * i));
  }
  return image;
}

TEST(FormatHeader, IsMagicThenBothLengthsLittleEndian) {
  const Header header = MakeHeader(148, 128);
  const Bytes expected = {0x5A, 0x52, 0x56, 0x30, 0x31, 0x30, 0x30, 0x31, 0x94, 0, 0, 0, 0x80, 0, 0, 0};
  EXPECT_EQ(Bytes(header.begin(), header.end()), expected);
  const Header big = MakeHeader(0x01020304, kMaxRegionLength);
  EXPECT_EQ(Bytes(big.begin() + 8, big.end()), (Bytes{4, 3, 2, 1, 0xFF, 0xFF, 0xFF, 0x7F}));
}

struct Case {
  const char* name;
  Bytes image;
  std::size_t startBytes;  // how much of the image the reader is given
  bool valid;
};

TEST(FormatReader, RefusesEveryShapeOfADamagedFile) {
  const Case cases[] = {
      {"typical", Image("ZRV01001", 148, 128, 148 + 128 + 16), 16, true},
      {"other magic", Image("NOTAZRV!", 3, 5, 3 + 5 + 8), 16, true},
      {"empty regions", Image("ZRV01001", 0, 0, 8), 16, true},
      {"empty file", Bytes{}, 0, false},
      {"fifteen bytes", Bytes(15, 0), 15, false},
      {"K at 2^31", Image("ZRV01001", 0x80000000u, 0, 8), 16, false},
      {"S at 2^31", Image("ZRV01001", 0, 0x80000000u, 8), 16, false},
      {"both huge", Image("ZRV01001", 0xFFFFFFFFu, 0xFFFFFFFFu, 8), 16, false},
      {"blob past end", Image("ZRV01001", 100, 0, 99), 16, false},
      {"signature past end", Image("ZRV01001", 10, 20, 29), 16, false},
      {"max lengths, short file", Image("ZRV01001", kMaxRegionLength, kMaxRegionLength, 8), 16, false},
      {"header only", Image("ZRV01001", 0, 0, 0), 16, false},
      {"regions end at end", Image("ZRV01001", 4, 4, 8), 16, false},
      {"ragged by one", Image("ZRV01001", 4, 4, 8 + 9), 16, false},
      {"ragged by seven", Image("ZRV01001", 4, 4, 8 + 7), 16, false},
  };
  for (const Case& c : cases) {
    Layout layout;
    const auto start = std::span(c.image.data(), c.startBytes);
    EXPECT_EQ(ReadLayout(start, c.image.size(), &layout), c.valid) << c.name;
  }
}

TEST(FormatReader, PlacesRegionsWhereTheHeaderSays) {
  const Bytes image = Image("ZRV01001", 148, 128, 148 + 128 + 24);
  Layout layout;
  ASSERT_TRUE(ReadLayout(image, image.size(), &layout));
  EXPECT_EQ(layout.keyBlobLength, 148u);
  EXPECT_EQ(layout.signatureLength, 128u);
  EXPECT_EQ(layout.keyBlobOffset, 16u);
  EXPECT_EQ(layout.signatureOffset, 164u);
  EXPECT_EQ(layout.ciphertextOffset, 292u);
  EXPECT_EQ(layout.ciphertextLength, 24u);
}

TEST(FormatReader, HandlesSizesBeyondFourGigabytes) {
  // Only the header is in memory; the size is what the file system says.
  const Bytes header = Image("ZRV01001", kMaxRegionLength, kMaxRegionLength, 0);
  const std::uint64_t size = 16 + 2 * std::uint64_t{kMaxRegionLength} + (std::uint64_t{5} << 30);
  Layout layout;
  ASSERT_TRUE(ReadLayout(header, size, &layout));
  EXPECT_EQ(layout.ciphertextLength, std::uint64_t{5} << 30);
  EXPECT_FALSE(ReadLayout(header, size - 1, &layout)) << "ragged";
}

TEST(FormatCiphertext, PaddingAddsOneToEightBytes) {
  const std::pair<std::uint64_t, std::uint64_t> lengths[] = {
      {0, 8}, {1, 8}, {7, 8}, {8, 16}, {9, 16}, {1000, 1008}, {std::uint64_t{1} << 32, (std::uint64_t{1} << 32) + 8}};
  for (const auto& [plain, cipher] : lengths) EXPECT_EQ(CiphertextLength(plain), cipher) << plain;
}

}  // namespace
}  // namespace ferrune::format
