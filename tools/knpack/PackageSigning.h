// Keys and signatures for packages: "knpack keygen", "knpack sign" (and "build --sign"), the
// signature part of "knpack inspect" and of "knpack verify --trusted". The formats are those
// of signing/ (KeyText.h, SignatureEntry.h); the rule is the updater's own.
#pragma once

#include <string>
#include <vector>

#include "package/UpdateManifest.h"
#include "signing/PackageSignature.h"

namespace knpack {

// Writes PREFIX.key and PREFIX.pub for a new key of signer name; never replaces a file.
// On success fingerprint holds the key's fingerprint in hex.
bool WriteKeyPair(const std::wstring& name, const std::wstring& prefix, std::wstring& fingerprint, std::wstring& error);

// Signs package with the private key file keyFile and writes the result to output (which may
// be package). The package must pass the updater's package check; its manifest and the
// images the manifest names are hashed as the updater unpacks them. On success signer and
// fingerprint describe the key.
bool SignPackage(const std::wstring& package, const std::wstring& keyFile, const std::wstring& output,
                 std::wstring& signer, std::wstring& error);

// The entries a signature must cover: the manifest and the images its lines name, the
// bootloader image only with the bootloader section.
std::vector<signing::NamedEntry> SignedEntryNames(const UpdateManifest& manifest);

// Prints the signature of a package unpacked into directory: "unsigned", or the signer, the
// key's fingerprint and whether each digest matches its unpacked file.
void ListSignature(const std::wstring& directory);

// The updater's rule on a package the package check has unpacked into directory, with the
// keys of trustedFile. Prints the rule's outcome; false when the package is refused.
bool VerifySignature(const std::wstring& directory, const std::wstring& trustedFile);

}  // namespace knpack
