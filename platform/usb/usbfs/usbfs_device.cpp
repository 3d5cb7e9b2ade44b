#include "platform/usb/usbfs/usbfs_device.h"

// clang-format off
#include <sys/ioctl.h>
#include <linux/usb/ch9.h>
#include <linux/usbdevice_fs.h>
// clang-format on

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include "platform/bytes/little_endian.h"

namespace kqa::usb::usbfs {
namespace {

// What the kernel lets one process keep in URB buffers (usbfs_memory_mb).
constexpr int kMaxBufferLength = 16 * 1024 * 1024;
constexpr std::size_t kSetupLength = 8;

// One URB, one transfer: the bridge never needs libusb to split a transfer.
constexpr std::uint32_t kCapabilities = USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_BULK_SCATTER_GATHER |
                                        USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                                        USBDEVFS_CAP_REAP_AFTER_DISCONNECT;

constexpr std::uint8_t kRecipientInterface = 0x01;
constexpr std::uint8_t kRecipientEndpoint = 0x02;
constexpr std::uint16_t kEndpointHalt = 0;

template <class T>
bool Load(ClientBlock* block, T& value) {
  if (block == nullptr || block->bytes().size() < sizeof(T)) return false;
  std::memcpy(&value, block->bytes().data(), sizeof(T));
  return true;
}

template <class T>
void Store(ClientBlock& block, const T& value) {
  std::memcpy(block.bytes().data(), &value, sizeof(T));
}

// The errno of a synchronous request the device ended with `status`.
int ErrnoOf(TransferStatus status) {
  switch (status) {
    case TransferStatus::Completed: return 0;
    case TransferStatus::Stall: return EPIPE;
    case TransferStatus::Timeout: return ETIMEDOUT;
    case TransferStatus::Cancelled: return ENOENT;
    case TransferStatus::NoDevice: return ENODEV;
    case TransferStatus::Overflow: return EOVERFLOW;
    case TransferStatus::Error: break;
  }
  return EPROTO;
}

IoctlAnswer Fail(int error) { return IoctlAnswer::Fail(error); }
IoctlAnswer Ok(long value = 0) { return IoctlAnswer::Ok(value); }

}  // namespace

struct UsbfsDevice::Urb {
  FileId file = 0;
  std::uint64_t address = 0;  // the caller's struct usbdevfs_urb
  std::uint8_t type = 0;
  std::uint8_t endpoint = 0;
  std::uint32_t flags = 0;
  bool in = false;
  std::size_t length = 0;          // bulk: buffer_length; control: wLength
  std::vector<std::uint8_t> data;  // the bytes moved (control: the data stage)
  bool withModel = false;          // a bulk transfer the model holds
  UsbDeviceModel::TransferId modelId = 0;
  bool modelIdKnown = false;
  bool discarded = false;
  int discardStatus = -ECONNRESET;  // what a discarded URB ends with unless it completed
  int status = 0;
  std::size_t actual = 0;
};

UsbfsDevice::UsbfsDevice(UsbDeviceModel& model, DescriptorSet descriptors, std::uint8_t deviceNumber,
                         std::function<void(bool)> readiness)
    : model_(model),
      descriptors_(std::move(descriptors)),
      deviceNumber_(deviceNumber),
      readiness_(std::move(readiness)) {}

UsbfsDevice::~UsbfsDevice() {
  std::vector<FileId> open;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [file, state] : files_) open.push_back(file);
  }
  for (FileId file : open) close(file);
  // The model writes into the URBs' buffers until it has completed them.
  std::unique_lock lock(mutex_);
  drained_.wait(lock, [this] { return withModel_ == 0; });
}

UsbfsDevice::FileId UsbfsDevice::open() {
  std::lock_guard lock(mutex_);
  const FileId file = nextFile_++;
  files_[file];
  return file;
}

void UsbfsDevice::close(FileId file) {
  std::vector<UsbDeviceModel::TransferId> cancel;
  {
    std::lock_guard lock(mutex_);
    cancel = kill(file, -ENOENT, [](const Urb&) { return true; });
    auto it = files_.find(file);
    if (it == files_.end()) return;
    waiting_ -= it->second.completed.size();
    files_.erase(it);  // released interfaces; URBs the model still holds are dropped when it completes them
    updateReadiness();
  }
  cancelInModel(cancel);
}

void UsbfsDevice::disconnect() {
  std::vector<UsbDeviceModel::TransferId> cancel;
  {
    std::lock_guard lock(mutex_);
    if (!connected_) return;
    connected_ = false;
    cancel = kill(0, -ESHUTDOWN, [](const Urb&) { return true; });
  }
  cancelInModel(cancel);
}

std::uint8_t UsbfsDevice::configuration() const {
  std::lock_guard lock(mutex_);
  return configuration_;
}

void UsbfsDevice::setConfigurationListener(std::function<void(std::uint8_t)> listener) {
  std::lock_guard lock(mutex_);
  configurationListener_ = std::move(listener);
}

IoctlAnswer UsbfsDevice::ioctl(FileId file, IoctlCall& call) {
  const unsigned long request = call.request();
  // Reaping stays allowed after a disconnect: the URBs it ended are still due.
  if (request == USBDEVFS_REAPURBNDELAY) return reap(file, call);
  {
    std::lock_guard lock(mutex_);
    if (!connected_) return Fail(ENODEV);
    if (!files_.count(file)) return Fail(EBADF);
  }
  std::uint32_t number = 0;
  switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
      ClientBlock* block = call.argumentBlock(sizeof kCapabilities);
      if (block == nullptr) return Fail(EFAULT);
      Store(*block, kCapabilities);
      return Ok();
    }
    case USBDEVFS_SUBMITURB: return submit(file, call);
    case USBDEVFS_DISCARDURB: return discard(file, call.argument());
    case USBDEVFS_CONTROL: return control(call);
    case USBDEVFS_SETCONFIGURATION: return setConfiguration(call);
    case USBDEVFS_CLAIMINTERFACE:
      return Load(call.argumentBlock(sizeof number), number) ? claim(file, number) : Fail(EFAULT);
    case USBDEVFS_DISCONNECT_CLAIM: {
      // There is never a kernel driver to disconnect: a plain claim.
      usbdevfs_disconnect_claim claimRequest{};
      return Load(call.argumentBlock(sizeof claimRequest), claimRequest) ? claim(file, claimRequest.interface)
                                                                         : Fail(EFAULT);
    }
    case USBDEVFS_RELEASEINTERFACE:
      return Load(call.argumentBlock(sizeof number), number) ? release(file, number) : Fail(EFAULT);
    case USBDEVFS_SETINTERFACE: return setInterface(call);
    case USBDEVFS_CLEAR_HALT: return clearHalt(call);
    case USBDEVFS_RESETEP: return Load(call.argumentBlock(sizeof number), number) ? Ok() : Fail(EFAULT);
    case USBDEVFS_RESET: return reset();
    case USBDEVFS_GETDRIVER:
    case USBDEVFS_IOCTL: return kernelDriver(call);
    case USBDEVFS_CONNECTINFO: {
      ClientBlock* block = call.argumentBlock(sizeof(usbdevfs_connectinfo));
      if (block == nullptr) return Fail(EFAULT);
      Store(*block, usbdevfs_connectinfo{deviceNumber_, 0});
      return Ok();
    }
    case USBDEVFS_GET_SPEED: return Ok(USB_SPEED_HIGH);
    default: return Fail(ENOTTY);
  }
}

IoctlAnswer UsbfsDevice::submit(FileId file, IoctlCall& call) {
  ClientBlock* block = call.argumentBlock(sizeof(usbdevfs_urb));
  usbdevfs_urb raw{};
  if (!Load(block, raw)) return Fail(EFAULT);
  if (raw.buffer_length < 0) return Fail(EINVAL);
  if (raw.buffer_length > kMaxBufferLength) return Fail(ENOMEM);
  auto urb = std::make_shared<Urb>();
  urb->file = file;
  urb->address = call.argument();
  urb->type = raw.type;
  urb->endpoint = raw.endpoint;
  urb->flags = raw.flags;
  urb->length = static_cast<std::size_t>(raw.buffer_length);
  {
    std::lock_guard lock(mutex_);
    if (inFlight_.count({file, urb->address})) return Fail(EBUSY);
  }
  switch (raw.type) {
    case USBDEVFS_URB_TYPE_CONTROL: return submitControl(urb, *block);
    case USBDEVFS_URB_TYPE_BULK:
    case USBDEVFS_URB_TYPE_INTERRUPT: return submitBulk(urb, *block);
    default: return Fail(EINVAL);  // isochronous: the model has no such endpoints
  }
}

IoctlAnswer UsbfsDevice::submitControl(const std::shared_ptr<Urb>& urb, ClientBlock& block) {
  if ((urb->endpoint & 0x7F) != 0 || urb->length < kSetupLength) return Fail(EINVAL);
  ClientBlock* buffer = block.follow(offsetof(usbdevfs_urb, buffer), urb->length);
  if (buffer == nullptr) return Fail(EFAULT);
  const std::span<const std::uint8_t> bytes = buffer->bytes();
  const SetupPacket setup{bytes[0], bytes[1], GetLe16(bytes, 2), GetLe16(bytes, 4), GetLe16(bytes, 6)};
  if (setup.wLength > urb->length - kSetupLength) return Fail(EINVAL);
  {
    std::lock_guard lock(mutex_);
    if (!connected_) return Fail(ENODEV);
  }
  urb->in = setup.isDeviceToHost();
  urb->length = setup.wLength;
  if (urb->in) {
    urb->data.resize(setup.wLength);
  } else {
    urb->data.assign(bytes.begin() + kSetupLength, bytes.begin() + kSetupLength + setup.wLength);
  }
  const TransferResult result = model_.controlTransfer(setup, urb->data);
  std::lock_guard lock(mutex_);
  if (result.status == TransferStatus::Timeout && connected_) {
    inFlight_.emplace(UrbKey{urb->file, urb->address}, urb);  // the device never answers: until discarded
  } else if (result.ok()) {
    finish(urb, 0, std::min(result.length, urb->length));
  } else {
    finish(urb, connected_ && result.status != TransferStatus::NoDevice ? -ErrnoOf(result.status) : -ESHUTDOWN, 0);
  }
  return Ok();
}

IoctlAnswer UsbfsDevice::submitBulk(const std::shared_ptr<Urb>& urb, ClientBlock& block) {
  urb->in = (urb->endpoint & kEndpointIn) != 0;
  {
    std::lock_guard lock(mutex_);
    if (configuration_ == 0 || !descriptors_.hasEndpoint(configuration_, urb->endpoint)) return Fail(ENOENT);
  }
  if (urb->in || urb->length == 0) {
    urb->data.resize(urb->length);
  } else {
    ClientBlock* buffer = block.follow(offsetof(usbdevfs_urb, buffer), urb->length);
    if (buffer == nullptr) return Fail(EFAULT);
    urb->data.assign(buffer->bytes().begin(), buffer->bytes().end());
  }
  {
    std::lock_guard lock(mutex_);
    if (!connected_) return Fail(ENODEV);
    inFlight_.emplace(UrbKey{urb->file, urb->address}, urb);
    urb->withModel = true;
    ++withModel_;
  }
  const auto id = model_.submitBulk(urb->endpoint, urb->data,
                                    [this, urb](TransferResult result) { modelCompleted(urb, result); });
  bool cancelNow = false;
  {
    std::lock_guard lock(mutex_);
    urb->modelId = id;
    urb->modelIdKnown = true;
    cancelNow = urb->discarded;  // discarded before the model named the transfer
  }
  if (cancelNow) model_.cancelBulk(id);
  return Ok();
}

void UsbfsDevice::modelCompleted(const std::shared_ptr<Urb>& urb, TransferResult result) {
  std::lock_guard lock(mutex_);
  --withModel_;
  const std::size_t length = std::min(result.length, urb->length);
  int status = 0;
  if (!result.ok()) {
    status = urb->discarded                              ? urb->discardStatus
             : result.status == TransferStatus::NoDevice ? -ESHUTDOWN
                                                         : -ErrnoOf(result.status);
  } else if (urb->in && (urb->flags & USBDEVFS_URB_SHORT_NOT_OK) && length < urb->length) {
    status = -EREMOTEIO;
  }
  finish(urb, status, length);
  if (withModel_ == 0) drained_.notify_all();
}

void UsbfsDevice::finish(const std::shared_ptr<Urb>& urb, int status, std::size_t length) {
  urb->status = status;
  urb->actual = length;
  if (auto it = inFlight_.find({urb->file, urb->address}); it != inFlight_.end() && it->second == urb)
    inFlight_.erase(it);
  auto file = files_.find(urb->file);
  if (file == files_.end()) return;  // closed: nobody reaps it
  file->second.completed.push_back(urb);
  ++waiting_;
  updateReadiness();
}

template <class Match>
std::vector<UsbDeviceModel::TransferId> UsbfsDevice::kill(FileId file, int status, Match match) {
  std::vector<std::shared_ptr<Urb>> held;
  std::vector<UsbDeviceModel::TransferId> cancel;
  for (const auto& [key, urb] : inFlight_) {
    if ((file != 0 && key.first != file) || urb->discarded || !match(*urb)) continue;
    urb->discarded = true;
    urb->discardStatus = status;
    if (!urb->withModel) {
      held.push_back(urb);
    } else if (urb->modelIdKnown) {
      cancel.push_back(urb->modelId);
    }
  }
  for (const auto& urb : held) finish(urb, status, 0);
  return cancel;
}

void UsbfsDevice::cancelInModel(const std::vector<UsbDeviceModel::TransferId>& ids) {
  for (UsbDeviceModel::TransferId id : ids) model_.cancelBulk(id);
}

void UsbfsDevice::updateReadiness() {
  const bool reapable = waiting_ > 0;
  if (reapable == reapable_) return;
  reapable_ = reapable;
  if (readiness_) readiness_(reapable);
}

IoctlAnswer UsbfsDevice::reap(FileId file, IoctlCall& call) {
  std::shared_ptr<Urb> urb;
  {
    std::lock_guard lock(mutex_);
    auto it = files_.find(file);
    if (it == files_.end() || it->second.completed.empty()) return Fail(connected_ ? EAGAIN : ENODEV);
    urb = it->second.completed.front();
    it->second.completed.pop_front();
    --waiting_;
    updateReadiness();
  }
  // The URB's address goes into the caller's pointer, its result into the URB.
  ClientBlock* pointer = call.argumentBlock(sizeof(void*));
  if (pointer == nullptr) return Fail(EFAULT);
  const auto address = static_cast<std::uintptr_t>(urb->address);
  std::memcpy(pointer->bytes().data(), &address, sizeof address);
  ClientBlock* block = pointer->follow(0, sizeof(usbdevfs_urb));
  usbdevfs_urb raw{};
  if (!Load(block, raw)) return Fail(EFAULT);
  raw.status = urb->status;
  raw.actual_length = static_cast<int>(urb->actual);
  raw.error_count = 0;
  Store(*block, raw);
  if (urb->in && urb->actual > 0) {
    const std::size_t at = urb->type == USBDEVFS_URB_TYPE_CONTROL ? kSetupLength : 0;
    ClientBlock* buffer = block->follow(offsetof(usbdevfs_urb, buffer), at + urb->actual);
    if (buffer == nullptr) return Fail(EFAULT);
    std::memcpy(buffer->bytes().data() + at, urb->data.data(), urb->actual);
  }
  return Ok();
}

IoctlAnswer UsbfsDevice::discard(FileId file, std::uint64_t address) {
  std::vector<UsbDeviceModel::TransferId> cancel;
  {
    std::lock_guard lock(mutex_);
    auto it = inFlight_.find({file, address});
    if (it == inFlight_.end()) return Fail(EINVAL);  // unknown, or completed and waiting to be reaped
    const std::shared_ptr<Urb> urb = it->second;
    cancel = kill(file, -ECONNRESET, [&urb](const Urb& candidate) { return &candidate == urb.get(); });
  }
  cancelInModel(cancel);
  return Ok();
}

IoctlAnswer UsbfsDevice::control(IoctlCall& call) {
  ClientBlock* block = call.argumentBlock(sizeof(usbdevfs_ctrltransfer));
  usbdevfs_ctrltransfer transfer{};
  if (!Load(block, transfer)) return Fail(EFAULT);
  const SetupPacket setup{transfer.bRequestType, transfer.bRequest, transfer.wValue, transfer.wIndex,
                          transfer.wLength};
  std::vector<std::uint8_t> data(transfer.wLength);
  ClientBlock* stage = nullptr;
  if (transfer.wLength > 0) {
    stage = block->follow(offsetof(usbdevfs_ctrltransfer, data), transfer.wLength);
    if (stage == nullptr) return Fail(EFAULT);
    if (!setup.isDeviceToHost()) std::copy(stage->bytes().begin(), stage->bytes().end(), data.begin());
  }
  // A device that never answers times out at once: the bridge keeps no time.
  const TransferResult result = model_.controlTransfer(setup, data);
  if (!result.ok()) return Fail(ErrnoOf(result.status));
  const std::size_t length = std::min<std::size_t>(result.length, data.size());
  if (setup.isDeviceToHost() && length > 0) std::memcpy(stage->bytes().data(), data.data(), length);
  return Ok(static_cast<long>(length));
}

TransferResult UsbfsDevice::standardRequest(std::uint8_t recipient, std::uint8_t request, std::uint16_t value,
                                            std::uint16_t index) {
  return model_.controlTransfer(SetupPacket{recipient, request, value, index, 0}, {});
}

IoctlAnswer UsbfsDevice::setConfiguration(IoctlCall& call) {
  int value = 0;
  if (!Load(call.argumentBlock(sizeof value), value)) return Fail(EFAULT);
  if (value == -1) value = 0;  // libusb's "unconfigured"
  if (value < 0 || value > 255 || (value != 0 && !descriptors_.hasConfiguration(static_cast<std::uint8_t>(value))))
    return Fail(EINVAL);
  {
    std::lock_guard lock(mutex_);
    for (const auto& [file, state] : files_)
      if (state.claimed != 0) return Fail(EBUSY);
  }
  const TransferResult result = standardRequest(0, kSetConfiguration, static_cast<std::uint16_t>(value), 0);
  if (!result.ok()) return Fail(ErrnoOf(result.status));
  std::function<void(std::uint8_t)> listener;
  {
    std::lock_guard lock(mutex_);
    configuration_ = static_cast<std::uint8_t>(value);
    listener = configurationListener_;
  }
  if (listener) listener(static_cast<std::uint8_t>(value));
  return Ok();
}

bool UsbfsDevice::claimedByAnyone(std::uint32_t interface) const {
  return std::any_of(files_.begin(), files_.end(),
                     [interface](const auto& entry) { return (entry.second.claimed >> interface) & 1; });
}

IoctlAnswer UsbfsDevice::claim(FileId file, std::uint32_t interface) {
  std::lock_guard lock(mutex_);
  if (configuration_ == 0 || interface >= 32 ||
      !descriptors_.hasInterface(configuration_, static_cast<std::uint8_t>(interface)))
    return Fail(ENOENT);
  File& state = files_.at(file);
  if (!((state.claimed >> interface) & 1) && claimedByAnyone(interface)) return Fail(EBUSY);
  state.claimed |= 1u << interface;
  return Ok();
}

IoctlAnswer UsbfsDevice::release(FileId file, std::uint32_t interface) {
  std::vector<UsbDeviceModel::TransferId> cancel;
  {
    std::lock_guard lock(mutex_);
    File& state = files_.at(file);
    if (interface >= 32 || !((state.claimed >> interface) & 1)) return Fail(EINVAL);
    state.claimed &= ~(1u << interface);
    // The interface's URBs die with the claim, as when usbfs lets an interface go.
    cancel = kill(file, -ENOENT, [this, interface](const Urb& urb) {
      return urb.type != USBDEVFS_URB_TYPE_CONTROL &&
             descriptors_.endpointInterface(configuration_, urb.endpoint) == interface;
    });
  }
  cancelInModel(cancel);
  return Ok();
}

IoctlAnswer UsbfsDevice::setInterface(IoctlCall& call) {
  usbdevfs_setinterface request{};
  if (!Load(call.argumentBlock(sizeof request), request)) return Fail(EFAULT);
  {
    std::lock_guard lock(mutex_);
    if (configuration_ == 0 || request.interface > 255 || request.altsetting > 255 ||
        !descriptors_.hasInterface(configuration_, static_cast<std::uint8_t>(request.interface),
                                   static_cast<std::uint8_t>(request.altsetting)))
      return Fail(EINVAL);
  }
  const TransferResult result = standardRequest(kRecipientInterface, kSetInterface,
                                                static_cast<std::uint16_t>(request.altsetting),
                                                static_cast<std::uint16_t>(request.interface));
  // An interface with one setting may stall the request, which the kernel accepts.
  if (!result.ok() && !(result.status == TransferStatus::Stall && request.altsetting == 0))
    return Fail(ErrnoOf(result.status));
  return Ok();
}

IoctlAnswer UsbfsDevice::clearHalt(IoctlCall& call) {
  std::uint32_t endpoint = 0;
  if (!Load(call.argumentBlock(sizeof endpoint), endpoint)) return Fail(EFAULT);
  {
    std::lock_guard lock(mutex_);
    if (configuration_ == 0 || endpoint > 0xFF ||
        !descriptors_.hasEndpoint(configuration_, static_cast<std::uint8_t>(endpoint)))
      return Fail(ENOENT);
  }
  const TransferResult result =
      standardRequest(kRecipientEndpoint, kClearFeature, kEndpointHalt, static_cast<std::uint16_t>(endpoint));
  return result.ok() ? Ok() : Fail(ErrnoOf(result.status));
}

IoctlAnswer UsbfsDevice::reset() {
  std::vector<UsbDeviceModel::TransferId> cancel;
  std::uint8_t configuration = 0;
  {
    std::lock_guard lock(mutex_);
    cancel = kill(0, -ENOENT, [](const Urb&) { return true; });
    configuration = configuration_;
  }
  cancelInModel(cancel);
  // After the port reset the hub driver restores the configuration.
  if (configuration != 0) {
    const TransferResult result = standardRequest(0, kSetConfiguration, configuration, 0);
    if (result.status == TransferStatus::NoDevice) return Fail(ENODEV);
  }
  return Ok();
}

IoctlAnswer UsbfsDevice::kernelDriver(IoctlCall& call) {
  if (call.request() == USBDEVFS_GETDRIVER) return Fail(ENODATA);  // no kernel driver is ever bound
  usbdevfs_ioctl request{};
  if (!Load(call.argumentBlock(sizeof request), request)) return Fail(EFAULT);
  if (request.ioctl_code == static_cast<int>(USBDEVFS_DISCONNECT)) return Fail(ENODATA);
  if (request.ioctl_code != static_cast<int>(USBDEVFS_CONNECT)) return Fail(ENOTTY);
  // Attaching a kernel driver: refused while usbfs holds the interface.
  std::lock_guard lock(mutex_);
  const bool claimed = request.ifno >= 0 && request.ifno < 32 &&
                       claimedByAnyone(static_cast<std::uint32_t>(request.ifno));
  return claimed ? Fail(EBUSY) : Ok();
}

}  // namespace kqa::usb::usbfs
