#include "tools/knupdate/UpdatedInstruments.h"

#include <iterator>

#include "tools/knupdate/ListedDevices.h"

void UpdatedInstruments::AddUpdated(const std::wstring& path, bool listed, std::uint64_t now) {
  Add(path, listed ? Where::kListed : Where::kOnItsWay, now);
}

void UpdatedInstruments::AddFailed(const std::wstring& path, const std::vector<ListedDevice>& listed,
                                   std::uint64_t now) {
  if (WithPath(listed, path) != nullptr) {
    Add(path, Where::kListed, now);
  } else if (!OfKind(listed, true).empty()) {
    Add(path, Where::kInLoader, now);
  }
}

void UpdatedInstruments::Forget(const std::vector<ListedDevice>& listed, bool leftWhileOtherProgramUpdated,
                                std::uint64_t now) {
  const bool oneInLoader = !OfKind(listed, true).empty();
  for (auto it = m_paths.begin(); it != m_paths.end();) {
    it = Gone(it->second, WithPath(listed, it->first) != nullptr, oneInLoader, leftWhileOtherProgramUpdated, now)
             ? m_paths.erase(it)
             : std::next(it);
  }
}

bool UpdatedInstruments::Gone(Updated& updated, bool listedNow, bool oneInLoader, bool leftByOtherProgram,
                              std::uint64_t now) {
  if (listedNow) {
    updated.where = Where::kListed;
    return false;
  }
  switch (updated.where) {
    case Where::kListed: return true;
    case Where::kOnItsWay:
      if (!oneInLoader) return now - updated.since > kSettleMs;
      updated.where = Where::kInLoader;
      return false;
    case Where::kRestarting: return now - updated.since > kRestartAfterOtherProgramMs;
    case Where::kInLoader:
      updated.updatedElsewhere = updated.updatedElsewhere || leftByOtherProgram;
      if (oneInLoader) return false;
      if (!updated.updatedElsewhere) return true;
      updated.where = Where::kRestarting;
      updated.since = now;
      return false;
  }
  return true;
}
