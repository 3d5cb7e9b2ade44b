#include "platform/usb/testing/fake_device_model.h"

#include <algorithm>
#include <utility>

#include "platform/bytes/little_endian.h"

namespace kqa::usb::testing {
namespace {

constexpr std::uint8_t kEndpointBulk = 0x02;

}  // namespace

std::vector<std::uint8_t> MakeConfigurationDescriptor(
    std::span<const std::pair<std::uint8_t, std::uint8_t>> endpoints) {
  std::vector<std::uint8_t> bytes = {9, kConfigurationDescriptor, 0, 0, 1, 1, 0, 0x80, 250,
                                     9, kInterfaceDescriptor, 0, 0,
                                     static_cast<std::uint8_t>(endpoints.size()), 0xFF, 0xFF, 0xFF, 0};
  for (const auto& [address, attributes] : endpoints)
    bytes.insert(bytes.end(), {7, kEndpointDescriptor, address, attributes, 0x00, 0x02, 0});  // 512 bytes
  PutLe16(bytes, 2, static_cast<std::uint16_t>(bytes.size()));
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
  completeAllPending(TransferStatus::Cancelled);
}

void FakeDeviceModel::completeAllPending(TransferStatus status) {
  for (auto& [endpoint, queue] : pending_)
    for (PendingBulk& transfer : queue)
      completions_.queue([completion = std::move(transfer.completion), status] { completion({status, 0}); });
  pending_.clear();
}

std::uint8_t FakeDeviceModel::byteAt(std::uint8_t space, std::uint32_t address) const {
  auto it = memory_.find({space, address});
  return it == memory_.end() ? 0 : it->second;
}

void FakeDeviceModel::setRegister(std::uint32_t address, std::uint32_t value, Space space) {
  std::lock_guard lock(mutex_);
  for (std::uint32_t i = 0; i < 4; ++i)
    memory_[{static_cast<std::uint8_t>(space), address + i}] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t FakeDeviceModel::registerValue(std::uint32_t address, Space space) const {
  std::lock_guard lock(mutex_);
  std::uint32_t value = 0;
  for (std::uint32_t i = 0; i < 4; ++i)
    value |= static_cast<std::uint32_t>(byteAt(static_cast<std::uint8_t>(space), address + i)) << (8 * i);
  return value;
}

void FakeDeviceModel::queueReads(std::uint16_t address, std::vector<std::uint32_t> values) {
  std::lock_guard lock(mutex_);
  queuedReads_[address].insert(queuedReads_[address].end(), values.begin(), values.end());
}

void FakeDeviceModel::failRequest(std::uint8_t bRequest, TransferStatus status) {
  std::lock_guard lock(mutex_);
  failures_[bRequest] = status;
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

std::vector<FakeDeviceModel::ControlRecord> FakeDeviceModel::vendorLog() const {
  std::lock_guard lock(mutex_);
  return log_;
}

void FakeDeviceModel::clearLog() {
  std::lock_guard lock(mutex_);
  log_.clear();
}

void FakeDeviceModel::setLogging(bool enabled) {
  std::lock_guard lock(mutex_);
  logging_ = enabled;
}

TransferResult FakeDeviceModel::controlTransfer(const SetupPacket& setup, std::span<std::uint8_t> data) {
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
  const bool vendor = (setup.bmRequestType & 0x60) == 0x40;
  if (vendor && logging_)
    log_.push_back({setup, setup.isDeviceToHost() ? std::vector<std::uint8_t>{}
                                                  : std::vector<std::uint8_t>(data.begin(), data.end())});
  if (auto it = failures_.find(setup.bRequest); it != failures_.end()) {
    const TransferStatus status = it->second;
    failures_.erase(it);
    return {status, 0};
  }
  return vendor ? vendorRequest(setup, data) : standardRequest(setup, data);
}

TransferResult FakeDeviceModel::vendorRequest(const SetupPacket& setup, std::span<std::uint8_t> data) {
  if (setup.bRequest == 0x02) {  // 16-bit register write: the value travels in wValue
    memory_[{0x06, setup.wIndex}] = static_cast<std::uint8_t>(setup.wValue);
    memory_[{0x06, setup.wIndex + 1u}] = static_cast<std::uint8_t>(setup.wValue >> 8);
    return {TransferStatus::Completed, 0};
  }
  auto space = static_cast<std::uint8_t>(setup.bRequest & 0xFE);
  if (space == 0x0A) space = static_cast<std::uint8_t>(Space::Eeprom);  // both EEPROM paths reach one EEPROM
  const std::uint32_t address = space == static_cast<std::uint8_t>(Space::Flash)
                                    ? (static_cast<std::uint32_t>(setup.wIndex) << 16 | setup.wValue)
                                    : setup.wIndex;
  if (!setup.isDeviceToHost()) {
    for (std::size_t i = 0; i < data.size(); ++i)
      memory_[{space, static_cast<std::uint32_t>(address + i)}] = data[i];
    return {TransferStatus::Completed, data.size()};
  }
  auto queued = queuedReads_.find(setup.wIndex);
  if (space == 0x06 && data.size() == 4 && queued != queuedReads_.end() && !queued->second.empty()) {
    for (int i = 0; i < 4; ++i) data[i] = static_cast<std::uint8_t>(queued->second.front() >> (8 * i));
    queued->second.pop_front();
    return {TransferStatus::Completed, 4};
  }
  for (std::size_t i = 0; i < data.size(); ++i)
    data[i] = byteAt(space, static_cast<std::uint32_t>(address + i));
  return {TransferStatus::Completed, data.size()};
}

TransferResult FakeDeviceModel::standardRequest(const SetupPacket& setup, std::span<std::uint8_t> data) {
  auto answer = [&](std::span<const std::uint8_t> bytes) {
    const std::size_t n = std::min(bytes.size(), data.size());
    std::copy_n(bytes.begin(), n, data.begin());
    return TransferResult{TransferStatus::Completed, n};
  };
  if (setup.bRequest == kGetDescriptor && (setup.wValue >> 8) == kDeviceDescriptor) {
    std::vector<std::uint8_t> device = {18, kDeviceDescriptor, 0x00, 0x02, 0xFF, 0xFF, 0xFF, 64, 0,
                                        0,  0x01, 0x00, 0x01, 0x01, 1, 2, 3, 1};
    PutLe16(device, 8, kVendorId);
    return answer(device);
  }
  if (setup.bRequest == kGetDescriptor && (setup.wValue >> 8) == kConfigurationDescriptor)
    return answer(configuration_);
  if (setup.bRequest == kGetStatus && (setup.bmRequestType & 0x03) < 3) {
    const std::size_t which = setup.bmRequestType & 0x03;
    const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(statusValues_[which]),
                                   static_cast<std::uint8_t>(statusValues_[which] >> 8)};
    return answer(std::span<const std::uint8_t>(bytes, statusLengths_[which]));
  }
  if (setup.bRequest == kSetConfiguration || setup.bRequest == kSetInterface)
    return {TransferStatus::Completed, 0};
  return {TransferStatus::Stall, 0};
}

FakeDeviceModel::TransferId FakeDeviceModel::submitBulk(std::uint8_t endpointAddress,
                                                        std::span<std::uint8_t> buffer,
                                                        BulkCompletion completion) {
  std::lock_guard lock(mutex_);
  const TransferId id = nextId_++;
  if (!attached_) {
    completions_.queue([completion = std::move(completion)] { completion({TransferStatus::NoDevice, 0}); });
  } else if (outSink_ && (endpointAddress & kEndpointIn) == 0) {
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
    auto it = std::find_if(queue.begin(), queue.end(), [&](const PendingBulk& p) { return p.id == id; });
    if (it == queue.end()) continue;
    completions_.queue([completion = std::move(it->completion)] {
      completion({TransferStatus::Cancelled, 0});
    });
    queue.erase(it);
    return;
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
  const std::size_t n =
      status == TransferStatus::Completed ? std::min(bytes.size(), transfer.buffer.size()) : 0;
  std::copy_n(bytes.begin(), n, transfer.buffer.begin());
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

void FakeDeviceModel::flushCompletions() { completions_.flush(); }

void FakeDeviceModel::detach() {
  std::function<void(bool)> listener;
  {
    std::lock_guard lock(mutex_);
    if (!attached_) return;
    attached_ = false;
    completeAllPending(TransferStatus::NoDevice);
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
