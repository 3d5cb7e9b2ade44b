#include "chip/radio/tx_packet.h"

#include "platform/bytes/little_endian.h"

namespace kqa::chip {

OutTransfer ParseOutTransfer(std::span<const std::uint8_t> transfer) {
  OutTransfer out;
  std::size_t at = 0;
  while (at + 4 <= transfer.size()) {
    const std::uint32_t info = GetLe32(transfer, at);
    if (info == 0) break;
    const std::size_t length = info & 0xFFFF;
    if (at + 4 + length > transfer.size()) {
      out.malformed = true;
      break;
    }
    OutPacket packet;
    packet.info = info;
    packet.body = transfer.subspan(at + 4, length);
    if ((info >> 30) == 1) {
      packet.kind = OutPacket::Kind::McuCommand;
    } else if (((info >> 27) & 7) == 2) {
      packet.kind = OutPacket::Kind::FirmwareChunk;
    }
    out.packets.push_back(packet);
    // A command packet is the whole transfer: what follows is its padding.
    if (packet.kind == OutPacket::Kind::McuCommand) break;
    at += 4 + ((length + 3) & ~std::size_t{3});
  }
  return out;
}

std::optional<TxFrame> DecodeTxFrame(std::span<const std::uint8_t> body) {
  if (body.size() < TxDescriptor::kSize) return std::nullopt;
  const std::uint32_t w0 = GetLe32(body, 0);
  const std::uint32_t w1 = GetLe32(body, 4);
  TxFrame frame;
  auto& d = frame.descriptor;
  d.rate.mode = static_cast<PhyMode>(w0 >> 30);
  d.rate.mcs = static_cast<std::uint8_t>((w0 >> 16) & 0x7F);
  d.rate.wide = d.rate.isHt() && (w0 & (1u << 23)) != 0;
  d.rate.shortGi = d.rate.isHt() && (w0 & (1u << 24)) != 0;
  d.ampdu = (w0 & (1u << 4)) != 0;
  d.ack = (w1 & 1u) != 0;
  d.hardwareSequence = (w1 & 2u) != 0;
  d.wcid = static_cast<std::uint8_t>(w1 >> 8);
  d.mpduBytes = (w1 >> 16) & 0xFFF;
  if (d.mpduBytes > body.size() - TxDescriptor::kSize) return std::nullopt;
  frame.mpdu = body.subspan(TxDescriptor::kSize, d.mpduBytes);
  return frame;
}

}  // namespace kqa::chip
