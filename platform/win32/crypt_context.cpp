#include "platform/win32/crypt_context.h"

namespace ferrune {
CryptContext CryptContext::Open(const char* containerName, AcquireFn acquire) {
  CryptContext ctx;
  if (acquire(ctx.prov_.put(), containerName, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET) ||
      acquire(ctx.prov_.put(), containerName, nullptr, PROV_RSA_FULL, 0)) {
    ctx.kind_ = Kind::Container;
    return ctx;
  }
  return OpenEphemeral(CRYPT_EXPORTABLE, acquire);
}

CryptContext CryptContext::OpenEphemeral(std::optional<DWORD> signatureFlags, AcquireFn acquire) {
  CryptContext ctx;
  if (!acquire(ctx.prov_.put(), nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) return ctx;
  if (signatureFlags) {
    CryptKey pair;
    if (!CryptGenKey(ctx.prov_.get(), AT_SIGNATURE, *signatureFlags, pair.put())) {
      ctx.prov_.reset();
      return ctx;
    }
  }
  ctx.kind_ = Kind::Ephemeral;
  return ctx;
}

bool CryptContext::RenewKeyPairs() {
  if (kind_ != Kind::Container) return kind_ == Kind::Ephemeral;
  // The exchange pair first, then the signature pair, each tried whatever the
  // other gave: one failed pair must not leave the other stale. The signature
  // key's handle is destroyed first.
  CryptKey exchange, signature;
  const bool exchangeRenewed = CryptGenKey(prov_.get(), AT_KEYEXCHANGE, CRYPT_EXPORTABLE, exchange.put()) != FALSE;
  const bool signatureRenewed = CryptGenKey(prov_.get(), AT_SIGNATURE, CRYPT_EXPORTABLE, signature.put()) != FALSE;
  signature.reset();
  return exchangeRenewed && signatureRenewed;
}

}  // namespace ferrune
