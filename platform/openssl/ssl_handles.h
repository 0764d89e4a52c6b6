// Owners of OpenSSL objects, so that no early return or exception leaks one.
#pragma once

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/provider.h>

#include "core/unique_any.h"

namespace ferrune::ssl {

// The library and the algorithms fetched from it.
using LibraryContext = UniqueAny<OSSL_LIB_CTX*, CallClose<&OSSL_LIB_CTX_free>>;
using LoadedProvider = UniqueAny<OSSL_PROVIDER*, CallClose<&OSSL_PROVIDER_unload>>;
using Cipher = UniqueAny<EVP_CIPHER*, CallClose<&EVP_CIPHER_free>>;
using Digest = UniqueAny<EVP_MD*, CallClose<&EVP_MD_free>>;

// A cipher or hash at work.
using CipherContext = UniqueAny<EVP_CIPHER_CTX*, CallClose<&EVP_CIPHER_CTX_free>>;
using DigestContext = UniqueAny<EVP_MD_CTX*, CallClose<&EVP_MD_CTX_free>>;

// Keys, and what they are built from and read through.
using Key = UniqueAny<EVP_PKEY*, CallClose<&EVP_PKEY_free>>;
using KeyContext = UniqueAny<EVP_PKEY_CTX*, CallClose<&EVP_PKEY_CTX_free>>;
using BigNumber = UniqueAny<BIGNUM*, CallClose<&BN_free>>;
using ParamBuilder = UniqueAny<OSSL_PARAM_BLD*, CallClose<&OSSL_PARAM_BLD_free>>;
using Params = UniqueAny<OSSL_PARAM*, CallClose<&OSSL_PARAM_free>>;
using Bio = UniqueAny<BIO*, CallClose<&BIO_free>>;

}  // namespace ferrune::ssl
