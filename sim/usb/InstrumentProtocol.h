// The instruments' side of the command protocol, as an application-mode instrument of the
// bench answers a request frame: identify, status query, update-mode request. Fault
// switches per command come from the bench INI:
//
//   fault.identify / fault.status / fault.updateMode =
//     noReply | lateReply | badChecksum | wrongAddress | negative | short | unplug
//
// Status behaviour: statusReadyAfter (polls before ReadyState bit 21 is set), runState
// (bit 0 or 1: a logger recording runs), auxState; statusPolls counts the polls so far.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/bench/Bench.h"

namespace sim {

enum class ReplyTiming {
  kNow,            // ready to be read at once
  kNever,          // no reply: the read waits until it is cancelled
  kDuringCancel,   // arrives just as the host gives up: the cancelled read still carries it
};

struct ProtocolReply {
  std::vector<std::uint8_t> bytes;
  ReplyTiming timing = ReplyTiming::kNow;
};

struct ProtocolOutcome {
  bool hasReply = false;
  ProtocolReply reply;
  bool switchToDfu = false;  // the instrument restarts into its DFU loader after replying
  bool unplug = false;       // the instrument leaves the bus instead of answering
};

// What instrument `id` does with one request frame written to its OUT endpoint.
ProtocolOutcome AnswerRequest(Bench& bench, const Instrument& instrument, const std::vector<std::uint8_t>& request);

// Identify reply payload offsets the instruments use (after address and length).
constexpr std::size_t kIdentifyReplyLength = 13;

}  // namespace sim
