#include "platform/usb/testing/fake_device_model.h"

#include <algorithm>
#include <utility>

namespace kqa::usb::testing {
namespace {

constexpr std::uint8_t kEndpointBulk = 0x02;

void PutU16(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint16_t value) {
  bytes[offset] = static_cast<std::uint8_t>(value);
  bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

}  // namespace

std::vector<std::uint8_t> MakeConfigurationDescriptor(
    std::span<const std::pair<std::uint8_t, std::uint8_t>> endpoints) {
  std::vector<std::uint8_t> bytes = {9, kConfigurationDescriptor, 0, 0, 1, 1, 0, 0x80, 250,
                                     9, kInterfaceDescriptor, 0, 0,
                                     static_cast<std::uint8_t>(endpoints.size()), 0xFF, 0xFF, 0xFF, 0};
  for (const auto& [address, attributes] : endpoints) {
    const std::size_t at = bytes.size();
    bytes.insert(bytes.end(), {7, kEndpointDescriptor, address, attributes, 0, 0, 0});
    PutU16(bytes, at + 4, 512);
  }
  PutU16(bytes, 2, static_cast<std::uint16_t>(bytes.size()));
  return bytes;
}

FakeDeviceModel::FakeDeviceModel() {
  std::vector<std::pair<std::uint8_t, std::uint8_t>> endpoints = {{kBulkIn0, kEndpointBulk},
                                                                  {kBulkIn1, kEndpointBulk}};
  for (std::uint8_t out : kBulkOut) endpoints.emplace_back(out, kEndpointBulk);
  configuration_ = MakeConfigurationDescriptor(endpoints);
  setRegister(0x0000, kKestrelIdentity);
}

FakeDeviceModel::~FakeDeviceModel() {
  std::lock_guard lock(mutex_);
  for (auto& [endpoint, queue] : pending_)
    for (PendingBulk& transfer : queue)
      completions_.queue([completion = std::move(transfer.completion)] {
        completion({TransferStatus::Cancelled, 0});
      });
  pending_.clear();
}

std::array<std::uint8_t, 0x10000>& FakeDeviceModel::space(Space which) {
  return spaces_[static_cast<std::size_t>(which)];
}
const std::array<std::uint8_t, 0x10000>& FakeDeviceModel::space(Space which) const {
  return spaces_[static_cast<std::size_t>(which)];
}

void FakeDeviceModel::setRegister(std::uint16_t address, std::uint32_t value, Space which) {
  std::lock_guard lock(mutex_);
  auto& bytes = space(which);
  for (int i = 0; i < 4; ++i)
    bytes[static_cast<std::uint16_t>(address + i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t FakeDeviceModel::registerValue(std::uint16_t address, Space which) const {
  std::lock_guard lock(mutex_);
  const auto& bytes = space(which);
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i)
    value |= static_cast<std::uint32_t>(bytes[static_cast<std::uint16_t>(address + i)]) << (8 * i);
  return value;
}

void FakeDeviceModel::queueReads(std::uint16_t address, std::vector<std::uint32_t> values) {
  std::lock_guard lock(mutex_);
  auto& queue = queuedReads_[address];
  queue.insert(queue.end(), values.begin(), values.end());
}

std::uint16_t FakeDeviceModel::eepromWord(std::uint16_t offset) const {
  std::lock_guard lock(mutex_);
  return static_cast<std::uint16_t>(eeprom_[offset] | (eeprom_[offset + 1u] << 8));
}

void FakeDeviceModel::setEepromWord(std::uint16_t offset, std::uint16_t value) {
  std::lock_guard lock(mutex_);
  eeprom_[offset] = static_cast<std::uint8_t>(value);
  eeprom_[offset + 1u] = static_cast<std::uint8_t>(value >> 8);
}

std::uint8_t FakeDeviceModel::flashByte(std::uint32_t address) const {
  std::lock_guard lock(mutex_);
  return flash_[address % flash_.size()];
}

void FakeDeviceModel::setFlashByte(std::uint32_t address, std::uint8_t value) {
  std::lock_guard lock(mutex_);
  flash_[address % flash_.size()] = value;
}

void FakeDeviceModel::failRequest(std::uint8_t bRequest, TransferStatus status, int count) {
  std::lock_guard lock(mutex_);
  failures_[bRequest] = {status, count};
}

void FakeDeviceModel::clearFaults() {
  std::lock_guard lock(mutex_);
  failures_.clear();
  queuedReads_.clear();
}

std::shared_ptr<FakeDeviceModel::Hold> FakeDeviceModel::holdNextRequest(std::uint8_t bRequest) {
  auto hold = std::make_shared<Hold>();
  std::lock_guard lock(mutex_);
  holds_[bRequest] = hold;
  return hold;
}

void FakeDeviceModel::setConfigurationDescriptor(std::vector<std::uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  configuration_ = std::move(bytes);
}

void FakeDeviceModel::setStatusAnswers(std::array<std::uint16_t, 3> values,
                                       std::array<std::uint8_t, 3> lengths) {
  std::lock_guard lock(mutex_);
  statusValues_ = values;
  statusLengths_ = lengths;
}

std::vector<FakeDeviceModel::ControlRecord> FakeDeviceModel::controlLog() const {
  std::lock_guard lock(mutex_);
  return log_;
}

std::vector<FakeDeviceModel::ControlRecord> FakeDeviceModel::vendorLog() const {
  std::lock_guard lock(mutex_);
  std::vector<ControlRecord> vendor;
  for (const ControlRecord& record : log_)
    if ((record.setup.bmRequestType & 0x60) == 0x40) vendor.push_back(record);
  return vendor;
}

void FakeDeviceModel::clearLog() {
  std::lock_guard lock(mutex_);
  log_.clear();
}

void FakeDeviceModel::setLogging(bool enabled) {
  std::lock_guard lock(mutex_);
  logging_ = enabled;
}

TransferResult FakeDeviceModel::controlTransfer(const SetupPacket& setup,
                                                std::span<std::uint8_t> data) {
  std::shared_ptr<Hold> hold;
  {
    std::lock_guard lock(mutex_);
    if (auto it = holds_.find(setup.bRequest); it != holds_.end()) {
      hold = std::move(it->second);
      holds_.erase(it);
    }
  }
  if (hold) {
    hold->entered.set();
    hold->released.wait();
  }

  std::lock_guard lock(mutex_);
  if (!attached_) return {TransferStatus::NoDevice, 0};
  if (logging_) {
    ControlRecord record{setup, {}};
    if (!setup.isDeviceToHost()) record.outData.assign(data.begin(), data.end());
    log_.push_back(std::move(record));
  }

  if (auto it = failures_.find(setup.bRequest); it != failures_.end()) {
    const TransferStatus status = it->second.first;
    if (--it->second.second <= 0) failures_.erase(it);
    return {status, 0};
  }
  if ((setup.bmRequestType & 0x60) == 0x40) return vendorRequest(setup, data);
  return standardRequest(setup, data);
}

TransferResult FakeDeviceModel::vendorRequest(const SetupPacket& setup, std::span<std::uint8_t> data) {
  const bool in = setup.isDeviceToHost();
  auto copyIn = [&](auto&& byteAt) {
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = byteAt(i);
    return TransferResult{TransferStatus::Completed, data.size()};
  };
  auto registers = [&](Space which) -> TransferResult {
    auto& bytes = space(which);
    const std::uint16_t address = setup.wIndex;
    if (in) {
      auto queued = queuedReads_.find(address);
      if (which == Space::Mac && data.size() == 4 && queued != queuedReads_.end() &&
          !queued->second.empty()) {
        const std::uint32_t value = queued->second.front();
        queued->second.pop_front();
        for (int i = 0; i < 4; ++i) data[i] = static_cast<std::uint8_t>(value >> (8 * i));
        return {TransferStatus::Completed, 4};
      }
      return copyIn([&](std::size_t i) { return bytes[static_cast<std::uint16_t>(address + i)]; });
    }
    for (std::size_t i = 0; i < data.size(); ++i) bytes[static_cast<std::uint16_t>(address + i)] = data[i];
    return {TransferStatus::Completed, data.size()};
  };
  const std::uint32_t flashAddress = (static_cast<std::uint32_t>(setup.wIndex) << 16) | setup.wValue;

  switch (setup.bRequest) {
    case 0x01:  // device mode
      return {TransferStatus::Completed, data.size()};
    case 0x02: {  // 16-bit register write
      auto& bytes = space(Space::Mac);
      bytes[setup.wIndex] = static_cast<std::uint8_t>(setup.wValue);
      bytes[static_cast<std::uint16_t>(setup.wIndex + 1)] = static_cast<std::uint8_t>(setup.wValue >> 8);
      return {TransferStatus::Completed, 0};
    }
    case 0x06:
    case 0x07: return registers(Space::Mac);
    case 0x16:
    case 0x17: return registers(Space::Alt);
    case 0x26:
    case 0x27: return registers(Space::Base0);
    case 0x46:
    case 0x47: return registers(Space::Sys);
    case 0x08:
    case 0x09:
    case 0x0A:
    case 0x0B:
      if (in) return copyIn([&](std::size_t i) { return eeprom_[(setup.wIndex + i) % eeprom_.size()]; });
      for (std::size_t i = 0; i < data.size(); ++i) eeprom_[(setup.wIndex + i) % eeprom_.size()] = data[i];
      return {TransferStatus::Completed, data.size()};
    case 0x0C:
      std::fill(flash_.begin(), flash_.end(), 0xFF);
      return {TransferStatus::Completed, 0};
    case 0x0D: {
      const std::size_t sector = (flashAddress % flash_.size()) & ~std::size_t{0xFFF};
      std::fill_n(flash_.begin() + static_cast<std::ptrdiff_t>(sector), 0x1000, 0xFF);
      return {TransferStatus::Completed, 0};
    }
    case 0x0E:
      for (std::size_t i = 0; i < data.size(); ++i) flash_[(flashAddress + i) % flash_.size()] = data[i];
      return {TransferStatus::Completed, data.size()};
    case 0x0F:
      return copyIn([&](std::size_t i) { return flash_[(flashAddress + i) % flash_.size()]; });
    case 0x10: {
      const std::size_t block = (static_cast<std::size_t>(setup.wValue) << 16) % flash_.size();
      std::fill_n(flash_.begin() + static_cast<std::ptrdiff_t>(block), 0x10000, 0xFF);
      return {TransferStatus::Completed, 0};
    }
    default: return {TransferStatus::Stall, 0};
  }
}

std::vector<std::uint8_t> FakeDeviceModel::deviceDescriptor() const {
  std::vector<std::uint8_t> bytes = {18, kDeviceDescriptor, 0x00, 0x02, 0xFF, 0xFF, 0xFF, 64,
                                     0, 0, 0, 0, 0x01, 0x01, 1, 2, 3, 1};
  PutU16(bytes, 8, kVendorId);
  PutU16(bytes, 10, kProductId);
  return bytes;
}

TransferResult FakeDeviceModel::standardRequest(const SetupPacket& setup, std::span<std::uint8_t> data) {
  auto answer = [&](std::span<const std::uint8_t> bytes) {
    const std::size_t n = std::min(bytes.size(), data.size());
    std::copy_n(bytes.begin(), n, data.begin());
    return TransferResult{TransferStatus::Completed, n};
  };
  switch (setup.bRequest) {
    case kGetDescriptor:
      if ((setup.wValue >> 8) == kDeviceDescriptor) return answer(deviceDescriptor());
      if ((setup.wValue >> 8) == kConfigurationDescriptor) return answer(configuration_);
      return {TransferStatus::Stall, 0};
    case kGetStatus: {
      const std::size_t which = setup.bmRequestType & 0x03;
      if (which > 2) return {TransferStatus::Stall, 0};
      const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(statusValues_[which]),
                                     static_cast<std::uint8_t>(statusValues_[which] >> 8)};
      return answer(std::span<const std::uint8_t>(bytes, statusLengths_[which]));
    }
    case kSetConfiguration:
    case kSetInterface: return {TransferStatus::Completed, 0};
    default: return {TransferStatus::Stall, 0};
  }
}

FakeDeviceModel::TransferId FakeDeviceModel::submitBulk(std::uint8_t endpointAddress,
                                                        std::span<std::uint8_t> buffer,
                                                        BulkCompletion completion) {
  std::lock_guard lock(mutex_);
  const TransferId id = nextId_++;
  if (!attached_) {
    completions_.queue([completion = std::move(completion)] { completion({TransferStatus::NoDevice, 0}); });
  } else if (outSink_ && (endpointAddress & kEndpointIn) == 0) {
    ++sinkTransfers_;
    completions_.queue([completion = std::move(completion), n = buffer.size()] {
      completion({TransferStatus::Completed, n});
    });
  } else {
    pending_[endpointAddress].push_back({id, buffer, std::move(completion)});
  }
  return id;
}

void FakeDeviceModel::cancelBulk(TransferId id) {
  std::lock_guard lock(mutex_);
  for (auto& [endpoint, queue] : pending_) {
    for (auto it = queue.begin(); it != queue.end(); ++it) {
      if (it->id != id) continue;
      completions_.queue([completion = std::move(it->completion)] {
        completion({TransferStatus::Cancelled, 0});
      });
      queue.erase(it);
      return;
    }
  }
}

bool FakeDeviceModel::isAttached() const {
  std::lock_guard lock(mutex_);
  return attached_;
}

void FakeDeviceModel::setAttachListener(std::function<void(bool attached)> listener) {
  std::lock_guard lock(mutex_);
  attachListener_ = std::move(listener);
}

std::size_t FakeDeviceModel::pendingBulk(std::uint8_t endpointAddress) const {
  std::lock_guard lock(mutex_);
  auto it = pending_.find(endpointAddress);
  return it == pending_.end() ? 0 : it->second.size();
}

bool FakeDeviceModel::takePending(std::uint8_t endpoint, PendingBulk& out) {
  std::lock_guard lock(mutex_);
  auto it = pending_.find(endpoint);
  if (it == pending_.end() || it->second.empty()) return false;
  out = std::move(it->second.front());
  it->second.pop_front();
  return true;
}

bool FakeDeviceModel::completeIn(std::uint8_t endpoint, std::span<const std::uint8_t> bytes,
                                 TransferStatus status) {
  PendingBulk transfer;
  if (!takePending(endpoint, transfer)) return false;
  std::size_t n = 0;
  if (status == TransferStatus::Completed) {
    n = std::min(bytes.size(), transfer.buffer.size());
    std::copy_n(bytes.begin(), n, transfer.buffer.begin());
  }
  transfer.completion({status, n});
  return true;
}

bool FakeDeviceModel::completeOut(std::uint8_t endpoint, std::vector<std::uint8_t>* sent,
                                  TransferStatus status) {
  PendingBulk transfer;
  if (!takePending(endpoint, transfer)) return false;
  if (sent) sent->assign(transfer.buffer.begin(), transfer.buffer.end());
  transfer.completion({status, status == TransferStatus::Completed ? transfer.buffer.size() : 0});
  return true;
}

void FakeDeviceModel::setOutSink(bool enabled) {
  std::lock_guard lock(mutex_);
  outSink_ = enabled;
}

std::uint64_t FakeDeviceModel::sinkTransfers() const {
  std::lock_guard lock(mutex_);
  return sinkTransfers_;
}

void FakeDeviceModel::flushCompletions() { completions_.flush(); }

void FakeDeviceModel::detach() {
  std::function<void(bool)> listener;
  {
    std::lock_guard lock(mutex_);
    if (!attached_) return;
    attached_ = false;
    for (auto& [endpoint, queue] : pending_)
      for (PendingBulk& transfer : queue)
        completions_.queue([completion = std::move(transfer.completion)] {
          completion({TransferStatus::NoDevice, 0});
        });
    pending_.clear();
    listener = attachListener_;
  }
  if (listener) listener(false);
}

void FakeDeviceModel::attach() {
  std::function<void(bool)> listener;
  {
    std::lock_guard lock(mutex_);
    if (attached_) return;
    attached_ = true;
    listener = attachListener_;
  }
  if (listener) listener(true);
}

}  // namespace kqa::usb::testing
