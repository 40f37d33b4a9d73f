// What every program of ours does first, before any library is loaded.
#pragma once

#include <string>

// Takes the current folder out of the DLL search. The DFU library is loaded by its plain name,
// and a program started from a share, from Downloads or from a shortcut whose working folder
// others can write to would otherwise load whatever "kndfu.dll" lies there. The rest of the
// standard search stays: the program's folder, the system folders, then PATH, where a DFU
// driver may have put its own folder.
//
// Windows documents that naming any folder with SetDllDirectoryW replaces the current folder in
// the search; the program's own folder is named (it is searched first anyway), since an empty
// name, which has the same effect on Windows, is not honoured by every Windows-compatible loader.
void ExcludeCurrentFolderFromDllSearch();

// The folder of the running program, with a trailing backslash; empty if it cannot be told.
std::wstring ProgramFolder();
