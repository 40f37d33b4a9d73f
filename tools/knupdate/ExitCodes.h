// What knupdate's exit code tells a script.
#pragma once

namespace exit_codes {

constexpr int kSucceeded = 0;  // every update succeeded (list and history: always)
constexpr int kFailed = 1;     // an update failed, or an instrument named is not listed
constexpr int kUsage = 2;      // wrong usage, or a device that names several instruments
// Every update succeeded, but a record of one could not be added to the history.
constexpr int kRecordLost = 3;

}  // namespace exit_codes
