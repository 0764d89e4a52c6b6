#include "core/signed_key.h"

namespace ferrune {
namespace {

std::unique_ptr<ProviderHash> BoundHash(Provider& provider, ByteView blob, const SecretBytes& passwordHashValue) {
  return provider.Hash({blob, ByteView(passwordHashValue.data(), passwordHashValue.size())});
}

bool ReadRegion(InputFile& source, std::uint64_t offset, std::uint32_t length, std::vector<std::uint8_t>* out) {
  out->resize(length);
  return length == 0 || source.ReadAt(offset, out->data(), length).ok();
}

}  // namespace

Outcome MakeSignedKey(Provider& provider, const SecretBytes& passwordHashValue, SignedKey* out) {
  if (!provider.ExportSignaturePublicKey(&out->blob)) return Outcome::Failed;
  if (out->blob.empty() || out->blob.size() > format::kMaxKeyBlobLength) return Outcome::Failed;
  auto bound = BoundHash(provider, out->blob, passwordHashValue);
  if (!bound || !provider.Sign(*bound, &out->signature)) return Outcome::Failed;
  // An empty signature would give a file that no password opens.
  if (out->signature.empty() || out->signature.size() > format::kMaxSignatureLength) return Outcome::Failed;
  return Outcome::Success;
}

Outcome CheckSignedKey(Provider& provider, InputFile& source, const format::Layout& layout, ProviderHash& passwordHash,
                       const SecretBytes& passwordHashValue) {
  if (layout.keyBlobLength > format::kMaxKeyBlobLength || layout.signatureLength > format::kMaxSignatureLength) {
    return Outcome::Damaged;
  }
  SignedKey stored;
  if (!ReadRegion(source, layout.keyBlobOffset, layout.keyBlobLength, &stored.blob) ||
      !ReadRegion(source, layout.signatureOffset, layout.signatureLength, &stored.signature)) {
    return Outcome::CannotRead;
  }
  auto publicKey = provider.ImportPublicKey(stored.blob);
  if (!publicKey) return Outcome::WrongPassword;
  auto bound = BoundHash(provider, stored.blob, passwordHashValue);
  if (!bound) return Outcome::Failed;
  if (provider.Verify(*bound, stored.signature, *publicKey)) return Outcome::Success;
  if (provider.Verify(passwordHash, stored.signature, *publicKey)) return Outcome::Success;
  return Outcome::WrongPassword;
}

}  // namespace ferrune
