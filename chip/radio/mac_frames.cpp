#include "chip/radio/mac_frames.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace kqa::chip {

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void PutAddress(Bytes& out, const MacAddress& address) { out.insert(out.end(), address.begin(), address.end()); }

// Frame control, duration, address 1.
Bytes Header(std::uint8_t fc0, std::uint8_t fc1, std::uint16_t duration, const MacAddress& address1) {
  Bytes out{fc0, fc1};
  Put16(out, duration);
  PutAddress(out, address1);
  return out;
}

Bytes Header3(std::uint8_t fc0, std::uint8_t fc1, std::uint16_t duration, const MacAddress& a1, const MacAddress& a2,
              const MacAddress& a3, std::uint16_t sequence) {
  Bytes out = Header(fc0, fc1, duration, a1);
  PutAddress(out, a2);
  PutAddress(out, a3);
  Put16(out, static_cast<std::uint16_t>((sequence & 0x0FFF) << 4));
  return out;
}

void PutRates(Bytes& out, bool fiveGhz) {
  static constexpr std::uint8_t kRates24[] = {0x82, 0x84, 0x8B, 0x96, 0x0C, 0x12, 0x18, 0x24};
  static constexpr std::uint8_t kRates5[] = {0x8C, 0x12, 0x98, 0x24, 0xB0, 0x48, 0x60, 0x6C};
  out.push_back(1);
  out.push_back(8);
  if (fiveGhz) {
    out.insert(out.end(), std::begin(kRates5), std::end(kRates5));
  } else {
    out.insert(out.end(), std::begin(kRates24), std::end(kRates24));
  }
}

constexpr std::uint16_t kDataDurationUs = 44;  // SIFS + ACK at a basic rate

}  // namespace

std::optional<MacAddress> ParseMacAddress(std::string_view text) {
  MacAddress address{};
  std::size_t digits = 0;
  for (char c : text) {
    if (c == ':' || c == '-') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c)) || digits >= 12) return std::nullopt;
    const int value = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::tolower(c) - 'a' + 10;
    address[digits / 2] = static_cast<std::uint8_t>(address[digits / 2] << 4 | value);
    ++digits;
  }
  if (digits != 12) return std::nullopt;
  return address;
}

std::string MacAddressText(const MacAddress& address) {
  char text[18];
  std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", address[0], address[1], address[2], address[3],
                address[4], address[5]);
  return text;
}

std::optional<MacAddress> ReceiverAddress(std::span<const std::uint8_t> frame) {
  if (frame.size() < 10) return std::nullopt;
  MacAddress address;
  std::copy_n(frame.begin() + 4, 6, address.begin());
  return address;
}

namespace frames {

Bytes Beacon(const MacAddress& bssid, std::string_view ssid, int channel, std::uint64_t timestampUs,
             std::uint16_t sequence, bool fiveGhz) {
  Bytes out = Header3(0x80, 0x00, 0, kBroadcast, bssid, bssid, sequence);
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(timestampUs >> (8 * i)));
  Put16(out, 100);     // beacon interval, time units
  Put16(out, 0x0401);  // ESS, short slot time
  out.push_back(0);
  out.push_back(static_cast<std::uint8_t>(std::min<std::size_t>(ssid.size(), 32)));
  out.insert(out.end(), ssid.begin(), ssid.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(ssid.size(), 32)));
  PutRates(out, fiveGhz);
  if (!fiveGhz) out.insert(out.end(), {3, 1, static_cast<std::uint8_t>(channel)});  // DS parameter set
  out.insert(out.end(), {5, 4, 0, 1, 0, 0});                                         // TIM
  return out;
}

Bytes ProbeRequest(const MacAddress& station, std::uint16_t sequence, bool fiveGhz) {
  Bytes out = Header3(0x40, 0x00, 0, kBroadcast, station, kBroadcast, sequence);
  out.insert(out.end(), {0, 0});  // wildcard SSID
  PutRates(out, fiveGhz);
  return out;
}

Bytes Data(const MacAddress& station, const MacAddress& bssid, bool toAp, std::uint16_t sequence,
           std::span<const std::uint8_t> body) {
  Bytes out = toAp ? Header3(0x08, 0x01, kDataDurationUs, bssid, station, bssid, sequence)
                   : Header3(0x08, 0x02, kDataDurationUs, station, bssid, bssid, sequence);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

Bytes PlainData(const MacAddress& receiver, const MacAddress& transmitter, std::uint16_t sequence,
                std::span<const std::uint8_t> body) {
  Bytes out = Header3(0x08, 0x00, 0, receiver, transmitter, transmitter, sequence);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

Bytes NullFunction(const MacAddress& station, const MacAddress& bssid, std::uint16_t sequence) {
  return Header3(0x48, 0x01, kDataDurationUs, bssid, station, bssid, sequence);
}

Bytes Ack(const MacAddress& receiver) { return Header(0xD4, 0x00, 0, receiver); }

Bytes Rts(const MacAddress& receiver, const MacAddress& transmitter, std::uint16_t durationUs) {
  Bytes out = Header(0xB4, 0x00, durationUs, receiver);
  PutAddress(out, transmitter);
  return out;
}

Bytes Cts(const MacAddress& receiver, std::uint16_t durationUs) { return Header(0xC4, 0x00, durationUs, receiver); }

}  // namespace frames

}  // namespace kqa::chip
