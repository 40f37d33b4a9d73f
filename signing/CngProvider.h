// Opening a CNG algorithm provider, for the hashing and the signing.
#pragma once

#include <windows.h>

#include <bcrypt.h>

namespace signing {

// The provider of algorithm, or nullptr. Callers keep one for the whole process: opening one
// costs far more than a hash or a signature, and CNG lets several threads use a provider at
// once. It is never closed; it lives until the process ends.
inline BCRYPT_ALG_HANDLE OpenCngProvider(LPCWSTR algorithm) {
  BCRYPT_ALG_HANDLE handle = nullptr;
  return BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&handle, algorithm, nullptr, 0)) ? handle : nullptr;
}

}  // namespace signing
