// Entry names of a package archive: the cleaning rule applied to every stored name, and the
// test that keeps whatever is written from a package inside the directory it is unpacked to.
// Plain rules, no platform calls.
#pragma once

#include <string>

namespace archive {

// Longest path the extraction keeps, terminator included.
constexpr std::size_t kMaxPathUnits = 260;

// Drops drive prefixes, leading separators and everything up to a "\..\"-style step,
// repeatedly, as the stored names of packages have always been read.
std::wstring CleanEntryName(std::wstring name);

// True when name, appended to a root directory, names a place below that root: not empty,
// relative, no ':' , no ".." step (nor any step of dots only), no component that ends in a
// space or a dot (Windows would open another name), and no device name (CON, PRN, AUX, NUL,
// CONIN$, CONOUT$, COM and LPT with a digit or a superscript 1, 2 or 3; any case, with or
// without an extension) as a component.
bool IsSafeRelativeName(const std::wstring& name);

// True for '/' and '\', the two separators the archive names use.
inline bool IsPathSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

}  // namespace archive
