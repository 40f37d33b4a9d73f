// A station's memory of the instruments it has updated, by device path: each is kept until it
// has left the list, or its loader after a failure there (unplugged, so it is tried again when
// it is plugged in again), but not while it may only be on its way back.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "ui/DeviceList.h"

class UpdatedInstruments {
 public:
  // How long the path of an updated one that has been seen nowhere since is kept: it may still
  // be on its way, and is not to be taken for a new one.
  static constexpr std::uint64_t kSettleMs = 10000;
  // How long one that left the loader by another program's update is expected back.
  static constexpr std::uint64_t kRestartAfterOtherProgramMs = 30000;

  // listed: back in application mode since its update. Times are of any one millisecond clock.
  void AddUpdated(const std::wstring& path, bool listed, std::uint64_t now);
  // A failed one as it is listed right after: still in application mode, or maybe in its
  // loader. One gone from the list (pulled out) is tried again when it is plugged in again.
  void AddFailed(const std::wstring& path, const std::vector<ListedDevice>& listed, std::uint64_t now);
  bool Contains(const std::wstring& path) const { return m_paths.count(path) != 0; }

  // Forgets those that have gone, by the list as it is now. leftWhileOtherProgramUpdated: one
  // of the type left the loader while another program updated an instrument, most likely by
  // the command the station named: it restarts, and comes back.
  void Forget(const std::vector<ListedDevice>& listed, bool leftWhileOtherProgramUpdated, std::uint64_t now);

 private:
  enum class Where {
    kOnItsWay,    // updated, and seen nowhere since
    kListed,      // in application mode
    kInLoader,    // not listed while one of its type waits in the loader: it may be that one
    kRestarting,  // left the loader after another program's update
  };
  struct Updated {
    Where where;
    bool updatedElsewhere;  // one left the loader by another program's update while it was there
    std::uint64_t since;    // of kOnItsWay and kRestarting
  };

  void Add(const std::wstring& path, Where where, std::uint64_t now) { m_paths[path] = {where, false, now}; }
  static bool Gone(Updated& updated, bool listedNow, bool oneInLoader, bool leftByOtherProgram, std::uint64_t now);

  std::map<std::wstring, Updated> m_paths;
};
