#include "decrypt_path.h"

#include <algorithm>
#include <cstring>

#include "format.h"

namespace ferrune {

std::size_t NormalizedChunkSize(std::size_t chunkSize) {
  return std::max(format::kBlockSize, chunkSize - chunkSize % format::kBlockSize);
}

bool MakePasswordKey(Provider& provider, const SecretBytes& password, PasswordKey* out) {
  out->hash = provider.Hash({ByteView(password.data(), password.size())});
  if (!out->hash) return false;
  out->key = provider.DeriveKey(*out->hash);
  return out->key && provider.HashValue(*out->hash, &out->hashValue) && !out->hashValue.empty();
}

Outcome CompareSink::Put(const std::uint8_t* data, std::size_t length) {
  if (length == 0) return Outcome::Success;
  if (buffer_.size() < length) buffer_ = SecretBytes(length);
  if (!reference_.ReadAt(offset_, buffer_.data(), length)) return Outcome::Failed;
  if (std::memcmp(buffer_.data(), data, length) != 0) return Outcome::Failed;
  offset_ += length;
  return Outcome::Success;
}

Outcome CompareSink::End() { return reference_.Size() == offset_ ? Outcome::Success : Outcome::Failed; }

namespace {

bool ReadRegion(InputFile& source, std::uint64_t offset, std::uint32_t length, std::vector<std::uint8_t>* out) {
  out->resize(length);
  return length == 0 || source.ReadAt(offset, out->data(), length);
}

// Import and verification. The signature covers SHA-1(key blob || password
// hash); files written before that covered the password hash itself and are
// still accepted, since refusing them would lose their data.
Outcome CheckSignature(Provider& provider, InputFile& source, const format::Layout& layout, ProviderHash& passwordHash,
                       const SecretBytes& passwordHashValue) {
  if (layout.keyBlobLength > kMaxKeyBlobLength || layout.signatureLength > kMaxSignatureLength) {
    return Outcome::WrongPassword;
  }
  std::vector<std::uint8_t> blob;
  std::vector<std::uint8_t> signature;
  if (!ReadRegion(source, layout.keyBlobOffset, layout.keyBlobLength, &blob) ||
      !ReadRegion(source, layout.signatureOffset, layout.signatureLength, &signature)) {
    return Outcome::CannotRead;
  }
  auto publicKey = provider.ImportPublicKey(blob);
  if (!publicKey) return Outcome::WrongPassword;
  auto boundHash = provider.Hash({blob, ByteView(passwordHashValue.data(), passwordHashValue.size())});
  if (!boundHash) return Outcome::Failed;
  if (provider.Verify(*boundHash, signature, *publicKey)) return Outcome::Success;
  if (provider.Verify(passwordHash, signature, *publicKey)) return Outcome::Success;
  return Outcome::WrongPassword;
}

}  // namespace

Outcome DecryptPath(Provider& provider, const SecretBytes& password, InputFile& source, PlainSink& sink,
                    const JobControl* control, std::size_t chunkSize) {
  chunkSize = NormalizedChunkSize(chunkSize);
  const std::uint64_t fileSize = source.Size();
  format::Header header{};
  const std::size_t headerBytes = std::min<std::uint64_t>(fileSize, header.size());
  if (headerBytes > 0 && !source.ReadAt(0, header.data(), headerBytes)) return Outcome::CannotRead;
  format::Layout layout;
  if (format::ReadLayout(std::span(header.data(), headerBytes), fileSize, &layout) != format::LayoutCheck::Valid) {
    return Outcome::Damaged;
  }

  PasswordKey passwordKey;
  if (!MakePasswordKey(provider, password, &passwordKey)) return Outcome::Failed;

  if (const Outcome checked = CheckSignature(provider, source, layout, *passwordKey.hash, passwordKey.hashValue);
      checked != Outcome::Success) {
    return checked;
  }
  if (const Outcome begun = sink.Begin(); begun != Outcome::Success) return begun;

  SecretBytes buffer(static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, layout.ciphertextLength)));
  std::uint64_t done = 0;
  while (done < layout.ciphertextLength) {
    if (control && control->Cancelled()) return Outcome::Cancelled;
    const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, layout.ciphertextLength - done));
    const bool final = done + length == layout.ciphertextLength;
    if (!source.ReadAt(layout.ciphertextOffset + done, buffer.data(), length)) return Outcome::CannotRead;
    std::size_t plainLength = 0;
    if (!passwordKey.key->Decrypt(buffer.data(), length, final, &plainLength)) {
      // Bad padding or a cut ciphertext shows only in the final chunk.
      return final ? Outcome::Damaged : Outcome::Failed;
    }
    const bool plausible =
        final ? plainLength < length && length - plainLength <= format::kBlockSize : plainLength == length;
    if (!plausible) return Outcome::Failed;
    if (const Outcome put = sink.Put(buffer.data(), plainLength); put != Outcome::Success) return put;
    done += length;
    if (control) control->Report(done, layout.ciphertextLength);
  }
  return sink.End();
}

}  // namespace ferrune
