// The folder of one update's own under the temporary directory: the package is unpacked there
// and nowhere else, and the folder goes, with everything in it, when the update ends. The
// temporary directory is shared with every other program of the user: nothing of theirs is
// replaced or deleted, and nothing a package brings lies where another program (an installer
// looking for its DLLs, say) would pick it up.
//
// While an update uses its folder it holds the folder open without letting others delete it;
// that is how a later run tells a folder that an update still uses from one that a run ending
// abnormally left behind, which it removes.
#pragma once

#include <windows.h>

#include <string>

class UpdateFolder {
 public:
  UpdateFolder() = default;
  ~UpdateFolder() { Remove(); }
  UpdateFolder(const UpdateFolder&) = delete;
  UpdateFolder& operator=(const UpdateFolder&) = delete;

  // Makes a new folder below tempDirectory (which ends in a backslash); never takes one that
  // exists already. False when none can be made.
  bool Create(const std::wstring& tempDirectory);
  // With a trailing backslash; empty while there is no folder.
  const std::wstring& Path() const { return m_path; }
  // Lets go of the files held in it (LetGoOfFilesIn), then removes the folder and everything in
  // it; nothing when there is none.
  void Remove();

 private:
  std::wstring m_path;
  HANDLE m_hold = INVALID_HANDLE_VALUE;
};

// Removes the update folders below tempDirectory that no running update holds and that have
// not changed for a minute: those of runs that ended abnormally. Touches nothing else there.
void RemoveAbandonedUpdateFolders(const std::wstring& tempDirectory);
