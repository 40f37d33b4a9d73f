#include "sim/usb/InstrumentProtocol.h"

#include "devlink/Commands.h"
#include "devlink/Frame.h"

namespace sim {
namespace {

enum class Fault { kNone, kNoReply, kLateReply, kBadChecksum, kWrongAddress, kNegative, kShort, kUnplug };

Fault ReadFault(const Bench& bench, const Instrument& instrument, const wchar_t* command) {
  const std::wstring text =
      bench.ReadString(Bench::InstrumentSection(instrument.id), std::wstring(L"fault.") + command, L"");
  if (text == L"noReply") return Fault::kNoReply;
  if (text == L"lateReply") return Fault::kLateReply;
  if (text == L"badChecksum") return Fault::kBadChecksum;
  if (text == L"wrongAddress") return Fault::kWrongAddress;
  if (text == L"negative") return Fault::kNegative;
  if (text == L"short") return Fault::kShort;
  if (text == L"unplug") return Fault::kUnplug;
  return Fault::kNone;
}

// Empty (no reply) for a payload one frame cannot carry.
std::vector<std::uint8_t> Frame(std::uint8_t address, const std::vector<std::uint8_t>& payload) {
  std::vector<std::uint8_t> bytes(payload.size() + frame::kOverhead);
  bytes.resize(frame::Build(address, payload.data(), payload.size(), bytes.data()));
  return bytes;
}

void PutLe32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<std::uint8_t>(value >> shift));
}

// Applies a command's fault switch to an intact reply.
ProtocolOutcome WithFault(Fault fault, std::uint8_t address, std::vector<std::uint8_t> reply) {
  if (reply.empty()) return {};  // a reply no frame could carry is not sent at all
  ProtocolOutcome outcome;
  outcome.hasReply = true;
  switch (fault) {
    case Fault::kNone: break;
    case Fault::kNoReply: outcome.reply.timing = ReplyTiming::kNever; break;
    case Fault::kLateReply: outcome.reply.timing = ReplyTiming::kDuringCancel; break;
    case Fault::kBadChecksum: reply[reply.size() - 2] ^= 0x5A; break;
    case Fault::kWrongAddress: {
      const std::vector<std::uint8_t> payload(reply.begin() + 2, reply.end() - 2);
      reply = Frame(static_cast<std::uint8_t>(address + 1), payload);
      break;
    }
    case Fault::kNegative: reply = Frame(address, {frame::kNegativeMarker, 0x01, 0x02, 0x03, 0x04}); break;
    case Fault::kShort: reply.resize(4); break;
    case Fault::kUnplug:
      outcome.hasReply = false;
      outcome.unplug = true;
      return outcome;
  }
  outcome.reply.bytes = std::move(reply);
  return outcome;
}

bool IsIdentify(const std::vector<std::uint8_t>& request) {
  return request.size() == 5 && request[1] == 5 && request[2] == commands::kIdentifyCommand;
}

bool HasPayload(const std::vector<std::uint8_t>& request, const std::uint8_t* payload, std::size_t length) {
  if (request.size() != length + frame::kOverhead || request[1] != request.size()) return false;
  for (std::size_t i = 0; i < length; ++i) {
    if (request[frame::kPayloadOffset + i] != payload[i]) return false;
  }
  return true;
}

ProtocolOutcome Identify(const Bench& bench, const Instrument& instrument) {
  const auto address = static_cast<std::uint8_t>(instrument.bus_address);
  // '>' 'A', model (LE16), firmware 1.4, hardware revision 2, two spare bytes.
  const std::vector<std::uint8_t> payload = {frame::kPositiveMarker, commands::kIdentifyCommand,
                                             static_cast<std::uint8_t>(instrument.model),
                                             static_cast<std::uint8_t>(instrument.model >> 8), 1, 4, 2, 0, 0};
  return WithFault(ReadFault(bench, instrument, L"identify"), address, Frame(address, payload));
}

ProtocolOutcome Status(Bench& bench, const Instrument& instrument) {
  const std::wstring section = Bench::InstrumentSection(instrument.id);
  const std::int64_t polls = bench.ReadInt(section, L"statusPolls", 0) + 1;
  bench.WriteInt(section, L"statusPolls", polls);
  const std::int64_t readyAfter = bench.ReadInt(section, L"statusReadyAfter", 1);
  const std::uint32_t readyState = polls >= readyAfter ? commands::kReadyStateReadyBit | 0x0001 : 0x0001;

  const auto address = static_cast<std::uint8_t>(instrument.bus_address);
  std::vector<std::uint8_t> payload = {frame::kPositiveMarker};
  PutLe32(payload, static_cast<std::uint32_t>(bench.ReadInt(section, L"runState", 0)));
  PutLe32(payload, readyState);
  const auto aux = static_cast<std::uint16_t>(bench.ReadInt(section, L"auxState", 0));
  payload.push_back(static_cast<std::uint8_t>(aux));
  payload.push_back(static_cast<std::uint8_t>(aux >> 8));
  return WithFault(ReadFault(bench, instrument, L"status"), address, Frame(address, payload));
}

ProtocolOutcome UpdateMode(const Bench& bench, const Instrument& instrument) {
  const auto address = static_cast<std::uint8_t>(instrument.bus_address);
  ProtocolOutcome outcome = WithFault(ReadFault(bench, instrument, L"updateMode"), address,
                                      Frame(address, {frame::kPositiveMarker, 0x09, 0x01, 0x04, 0x00}));
  outcome.switchToDfu = outcome.hasReply && outcome.reply.timing != ReplyTiming::kNever;
  return outcome;
}

}  // namespace

ProtocolOutcome AnswerRequest(Bench& bench, const Instrument& instrument, const std::vector<std::uint8_t>& request) {
  // A frame that is damaged, or addressed to another instrument, is ignored as on a real bus.
  if (request.size() < frame::kOverhead || frame::Sum(request.data(), request.size()) != 0) return {};
  if (IsIdentify(request)) return Identify(bench, instrument);
  if (request[frame::kAddressOffset] != instrument.bus_address) return {};
  if (HasPayload(request, commands::kStatusQuery, sizeof commands::kStatusQuery)) return Status(bench, instrument);
  if (HasPayload(request, commands::kUpdateModeRequest, sizeof commands::kUpdateModeRequest)) {
    return UpdateMode(bench, instrument);
  }
  return {};
}

}  // namespace sim
