#include "crypt_context.h"

namespace ferrune {
namespace {

bool GenerateExportable(HCRYPTPROV prov, ALG_ID keySpec) {
  CryptKey key;
  return CryptGenKey(prov, keySpec, CRYPT_EXPORTABLE, key.put()) != FALSE;
}

}  // namespace

CryptContext CryptContext::Open(const char* containerName, AcquireFn acquire) {
  CryptContext ctx;
  if (acquire(ctx.prov_.put(), containerName, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET) ||
      acquire(ctx.prov_.put(), containerName, nullptr, PROV_RSA_FULL, 0)) {
    ctx.kind_ = Kind::Container;
    return ctx;
  }
  if (acquire(ctx.prov_.put(), nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) &&
      GenerateExportable(ctx.prov_.get(), AT_SIGNATURE)) {
    ctx.kind_ = Kind::Ephemeral;
    return ctx;
  }
  ctx.prov_.reset();
  return ctx;
}

bool CryptContext::RenewKeyPairs() {
  if (kind_ != Kind::Container) return kind_ == Kind::Ephemeral;
  // The exchange pair first, then the signature pair; each handle is
  // destroyed as its owner goes out of scope, the signature key's first.
  CryptKey exchange;
  if (!CryptGenKey(prov_.get(), AT_KEYEXCHANGE, CRYPT_EXPORTABLE, exchange.put())) return false;
  CryptKey signature;
  if (!CryptGenKey(prov_.get(), AT_SIGNATURE, CRYPT_EXPORTABLE, signature.put())) return false;
  signature.reset();
  return true;
}

}  // namespace ferrune
