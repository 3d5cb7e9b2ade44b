#include "app/sniffer/capture_session.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <new>

#include "app/device/connection.h"
#include "app/device/messages.h"
#include "app/device/register_access.h"
#include "app/device/startup.h"
#include "app/sniffer/capture_radio.h"
#include "app/sniffer/pac_file.h"
#include "platform/bytes/little_endian.h"
#include "platform/ioctl/control_codes.h"
#include "platform/prompt/file_dialog.h"

namespace kqa::sniffer {

namespace {

constexpr std::uint32_t kMacControl = 0x1004;
constexpr std::uint32_t kReceiveAll = 0x8;

FileDialogOptions PacDialog(std::string title) {
  return {std::move(title), ParseFilterList(texts::kPacketFileFilter), "pac", {}, {}};
}

}  // namespace

CaptureSession::CaptureSession(device::DeviceContext& device, device::ConfigMemoryMode& memoryMode,
                               SnifferBuffer& snifferBuffer)
    : device_(device), memoryMode_(memoryMode), snifferBuffer_(snifferBuffer) {}

CaptureSession::~CaptureSession() {
  stopCapture();
}

std::size_t CaptureSession::headerSize() const {
  return device_.asicVersion != 0 && device_.rxHeaderSize != 0 ? device_.rxHeaderSize
                                                               : kKestrelHeaderSize;
}

bool CaptureSession::ensureStore() {
  if (store_.capacity() > 0) return true;
  // The program allocates the capture buffer at start; a tool that did not
  // gets it here.
  if (!snifferBuffer_.allocate()) return false;
  store_ = CaptureStore(snifferBuffer_.bytes());
  return store_.capacity() > 0;
}

void CaptureSession::initialize() {
  std::lock_guard lock(lock_);
  if (!device::EnsureDeviceOpen(device_)) {
    saveEnabled_ = false;
    startEnabled_ = false;
  }
  try {
    transfer_.assign(kTransferBufferSize, 0);
  } catch (const std::bad_alloc&) {
    transfer_.clear();
  }
  if (transfer_.empty() || !ensureStore())
    device_.prompt.showMessage(device::kMemoryAllocationFailedText);

  std::array<std::uint8_t, 4> answer{};
  PutLe32(answer, 0, 1);
  if (device::CallDevice(device_, ioctl::VQ_OID_USB_CAPTURE_AVAILABLE, {}, answer) &&
      GetLe32(answer, 0) == 0) {
    device_.prompt.showMessage(texts::kNoSnifferMemory);
    startEnabled_ = false;
  }
}

bool CaptureSession::setMacFilterText(std::string_view text) {
  const std::optional<MacAddress> address = ParseMacFilter(text);
  if (!address) {
    device_.prompt.showMessage(MacFilterProblem(text));
    return false;
  }
  std::lock_guard lock(lock_);
  filter.address = *address;
  macFilterText_ = std::string(text);
  return true;
}

void CaptureSession::startStop() {
  std::lock_guard lock(lock_);
  if (capturing_)
    stop();
  else
    start();
}

void CaptureSession::stopCapture() {
  std::lock_guard lock(lock_);
  if (capturing_) stop();
}

void CaptureSession::start() {
  if (transfer_.empty() || !ensureStore()) {
    device_.prompt.showMessage(device::kMemoryAllocationFailedText);
    return;
  }
  device::RegisterAccess access(device_);
  std::uint32_t control = 0;
  if (!access.ReadMacRegister(kMacControl, control)) return;
  access.WriteMacRegister(kMacControl, control | kReceiveAll);
  capturing_ = true;
  store_.clear();
  rows_.clear();
  crcErrors_ = 0;
  selected_.reset();
  const device::CallResult started =
      device::CallDevice(device_, ioctl::VQ_OID_USB_CAPTURE_START, {}, {});
  if (!started) {
    // The driver is not capturing: say so instead of ticking on nothing.
    capturing_ = false;
    access.WriteMacRegister(kMacControl, control & ~kReceiveAll);
    device_.prompt.showMessage(device::messages::DeviceIoControlFailed(started.error));
  }
}

void CaptureSession::stop() {
  device::RegisterAccess access(device_);
  std::uint32_t control = 0;
  // A failed read writes nothing rather than a made-up value.
  if (access.ReadMacRegister(kMacControl, control))
    access.WriteMacRegister(kMacControl, control & ~kReceiveAll);
  capturing_ = false;
  device::CallDevice(device_, ioctl::VQ_OID_USB_CAPTURE_STOP, {}, {});
  device_.clock.sleepMs(1);
}

void CaptureSession::tick() {
  std::lock_guard lock(lock_);
  if (!capturing_) return;
  std::uint32_t bytes = 0;
  if (!device::CallDeviceCount(device_, ioctl::VQ_OID_USB_CAPTURE_READ, {}, transfer_, bytes))
    return;
  const std::size_t d = headerSize();
  const std::size_t records = RingRecordCount(std::min<std::size_t>(bytes, transfer_.size()));
  for (std::size_t i = 0; i < records; ++i) {
    const std::span<const std::uint8_t> record = RingRecordAt(transfer_, i);
    const PacketRow row = SummarizeRecord(record, d);
    if (row.has(PacketRow::kCrcError)) ++crcErrors_;
    if (!filter.keeps(row)) continue;
    keep(record, row);
    if (!store_.full()) continue;
    if (!wrapAround) {
      stop();
      return;
    }
    rows_.clear();
    store_.clear();
    selected_.reset();
  }
}

void CaptureSession::keep(std::span<const std::uint8_t> record, const PacketRow& row) {
  rows_.append(row);
  store_.append(record);
}

std::optional<CaptureSession::RecordBytes> CaptureSession::openRecord(
    std::optional<std::size_t> row) {
  std::lock_guard lock(lock_);
  if (!row || *row >= store_.count()) return std::nullopt;
  selected_ = row;
  const std::span<std::uint8_t> record = store_.record(*row);
  const std::size_t d = std::min(headerSize(), record.size());
  const CaptureRecord parsed = ParseCaptureRecord(record, d);
  return RecordBytes{record.first(d),
                     record.subspan(d, std::min<std::size_t>(parsed.frameSize, record.size() - d))};
}

void CaptureSession::recordEdited(std::size_t row) {
  std::lock_guard lock(lock_);
  if (row < store_.count() && row < rows_.rowsHeld())
    rows_.replace(row, SummarizeRecord(store_.record(row), headerSize()));
}

void CaptureSession::saveFile() {
  const std::optional<std::string> path = device_.prompt.chooseSaveFile(PacDialog("Save File"));
  if (path) savePacTo(AppendExtensionIfNoDot(*path, "pac"));
}

void CaptureSession::loadFile() {
  const std::optional<std::string> path = device_.prompt.chooseOpenFile(PacDialog("Load File"));
  if (path) loadPacFrom(AppendExtensionIfNoDot(*path, "pac"));
}

void CaptureSession::exportPcap() {
  const FileDialogOptions dialog{
      "Export pcap File", ParseFilterList(texts::kPcapFileFilter), "pcap", {}, {}};
  const std::optional<std::string> path = device_.prompt.chooseSaveFile(dialog);
  if (path) exportPcapTo(AppendExtensionIfNoDot(*path, "pcap"));
}

bool CaptureSession::savePacTo(const std::string& path) {
  std::lock_guard lock(lock_);
  switch (SavePacFile(path, store_.heldBytes())) {
    case PacFileResult::Ok:
      return true;
    case PacFileResult::NotOpened:
      device_.prompt.showMessage(texts::kPacketFileNotOpened);
      return false;
    case PacFileResult::NotWritten:
      device_.prompt.showMessage(texts::kPacketFileNotWritten);
      return false;
  }
  return false;
}

bool CaptureSession::loadPacFrom(const std::string& path) {
  std::lock_guard lock(lock_);
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    device_.prompt.showMessage(texts::kPacketFileNotOpened);
    return false;
  }
  if (!ensureStore()) {
    device_.prompt.showMessage(device::kMemoryAllocationFailedText);
    return false;
  }
  rows_.clear();
  selected_.reset();
  const PacLoadReport report = LoadPac(in, store_);
  const std::size_t d = headerSize();
  for (std::size_t i = 0; i < store_.count(); ++i)
    rows_.append(SummarizeRecord(store_.record(i), d));
  const std::string problem = PacLoadProblem(report);
  if (problem.empty()) return true;
  device_.prompt.showMessage(problem);
  return false;
}

PcapOptions CaptureSession::pcapOptions() {
  PcapOptions options;
  options.headerSize = headerSize();
  options.channel = channel;
  options.channel = CaptureChannel(store_.heldBytes(), options);
  if (device_.hDevice.isOpen()) {
    if (auto calibration = ReadSignalCalibration({device_, memoryMode_}, options.channel.value_or(1)))
      options.calibration = *calibration;
  }
  return options;
}

bool CaptureSession::exportPcapTo(const std::string& path) {
  std::lock_guard lock(lock_);
  switch (SavePcapFile(path, store_.heldBytes(), pcapOptions())) {
    case PcapFileResult::Ok:
      return true;
    case PcapFileResult::NotOpened:
      device_.prompt.showMessage(texts::kPcapFileNotOpened);
      return false;
    case PcapFileResult::NotWritten:
      device_.prompt.showMessage(texts::kPcapFileNotWritten);
      return false;
  }
  return false;
}

}  // namespace kqa::sniffer
