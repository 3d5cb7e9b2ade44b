#include "chip/command_ports.h"

namespace kqa::chip {

namespace {

template <class Port>
void InstallPort(RegisterSpace& mac, std::uint16_t address, Port& port) {
  mac.map(address, address,
          {[&port](std::uint16_t) { return port.read(); },
           [&port](std::uint16_t, std::uint32_t value) { port.write(value); },
           [&port](std::uint16_t) { return port.peek(); }});
}

}  // namespace

// --- BBP ---------------------------------------------------------------------

void BbpCommandPort::install(RegisterSpace& mac) { InstallPort(mac, kAddress, *this); }

std::uint32_t BbpCommandPort::read() {
  const bool busy = latch_.poll(clock_.now(), stuck()) || stuck();
  return value_ | (busy ? kBusy : 0);
}

void BbpCommandPort::write(std::uint32_t value) {
  latch_.settle(clock_.now(), stuck());
  if (latch_.busy() || stuck()) return;
  value_ = value & ~kBusy;
  if ((value & kBusy) == 0) return;
  const auto id = static_cast<std::uint8_t>(value >> 8);
  const auto data = static_cast<std::uint8_t>(value);
  const bool isRead = (value & kRead) != 0;
  latch_.start(clock_.now(), commandTime_, faults_.busyReads(BusyUnit::Bbp), stuck(), [this, id, data, isRead] {
    if (isRead) {
      value_ = (value_ & ~0xFFu) | bbp_.read(id);
    } else {
      bbp_.write(id, data);
    }
  });
}

std::uint32_t BbpCommandPort::peek() const {
  return value_ | (latch_.busy() || stuck() ? kBusy : 0);
}

void BbpCommandPort::reset() {
  latch_.reset();
  value_ = 0;
}

// --- RF ----------------------------------------------------------------------

void RfCommandPort::install(RegisterSpace& mac) { InstallPort(mac, kAddress, *this); }

std::uint32_t RfCommandPort::read() {
  const bool busy = latch_.poll(clock_.now(), stuck()) || stuck();
  return value_ | (busy ? kBusy : 0);
}

void RfCommandPort::write(std::uint32_t value) {
  latch_.settle(clock_.now(), stuck());
  if (latch_.busy() || stuck()) return;
  value_ = value & ~kBusy;
  if ((value & kBusy) == 0) return;
  const int bank = static_cast<int>((value >> 14) & 0xF);
  const int reg = static_cast<int>((value >> 8) & 0x3F);
  const auto data = static_cast<std::uint8_t>(value);
  const bool isWrite = (value & kWrite) != 0;
  latch_.start(clock_.now(), commandTime_, faults_.busyReads(BusyUnit::Rf), stuck(),
               [this, bank, reg, data, isWrite] {
                 if (isWrite) {
                   rf_.write(bank, reg, data);
                 } else {
                   value_ = (value_ & ~0xFFu) | rf_.read(bank, reg);
                 }
               });
}

std::uint32_t RfCommandPort::peek() const {
  return value_ | (latch_.busy() || stuck() ? kBusy : 0);
}

void RfCommandPort::reset() {
  latch_.reset();
  value_ = 0;
}

// --- RF serial word ----------------------------------------------------------

void RfSerialPort::install(RegisterSpace& mac) { InstallPort(mac, kAddress, *this); }

std::uint32_t RfSerialPort::read() {
  const bool busy = latch_.poll(clock_.now(), stuck()) || stuck();
  return value_ | (busy ? kBusy : 0);
}

void RfSerialPort::write(std::uint32_t value) {
  latch_.settle(clock_.now(), stuck());
  if (latch_.busy() || stuck()) return;
  value_ = value & ~kBusy;
  latch_.start(clock_.now(), wordTime_, faults_.busyReads(BusyUnit::RfSerial), stuck(), [this, value] {
    lastWord_ = value;
    ++wordCount_;
    if (sink_) sink_(value);
  });
}

std::uint32_t RfSerialPort::peek() const {
  return value_ | (latch_.busy() || stuck() ? kBusy : 0);
}

void RfSerialPort::reset() {
  latch_.reset();
  value_ = 0;
  lastWord_ = 0;
  wordCount_ = 0;
}

}  // namespace kqa::chip
