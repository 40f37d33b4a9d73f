// The texts the updater shows when a trusted key is set and a package is refused for its
// signature, in the style of the package check's own texts (procedure/ProcedureTexts.h).
#pragma once

namespace texts {

constexpr wchar_t kNotSigned[] = L"The update file is not signed!";
constexpr wchar_t kNotSignedByTrustedMaker[] = L"The update file is not signed by a trusted maker!";
constexpr wchar_t kDoesNotMatchSignature[] = L"The update file does not match its signature!";

}  // namespace texts
