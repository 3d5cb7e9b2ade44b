#include "app/txrx/firmware_loader.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <sstream>

#include "app/device/connection.h"
#include "app/device/firmware_channel.h"
#include "app/device/pipelines.h"
#include "app/device/register_access.h"
#include "app/device/text_format.h"
#include "platform/bytes/little_endian.h"
#include "platform/clock/polling.h"

namespace kqa::txrx {
namespace {

namespace fs = std::filesystem;
using device::Format;

constexpr std::uint32_t kDestinationRegister = 0x0230;  // SYS: destination; bit 0 reads 1 while running
constexpr std::uint32_t kLengthRegister = 0x0234;       // SYS: chunk length in bits 16-31
constexpr std::uint32_t kChunkCounter = 0x09A8;         // MAC: chunks sent
constexpr std::uint32_t kIlmBase = 64;                  // the ILM body follows the vector block
constexpr std::uint32_t kDlmBase = 0x80000;
constexpr std::uint32_t kFirmwarePort = 0x10000000;     // information word: PORT = 2
constexpr std::uint32_t kRawFrameType = 16;             // the driver sends the record as it is
// A second for each, 1 ms apart. A chunk is out in well under a millisecond
// on the bus; the margin is for the driver's send thread, which on a busy
// machine (or under a test's virtual clock, where the polls cost no time)
// may not be scheduled for a while.
constexpr int kSentPolls = 1000;   // for one chunk
constexpr int kStartPolls = 1000;  // for the MCU to run

constexpr const char* kNotFound = "Can not load the firmware \"Kestrel.bin\"";

std::string ReadText(const fs::path& path, std::string& problem) {
  std::vector<std::uint8_t> bytes;
  // Words of 1500 bytes of packet, written with blanks and line ends.
  if (!ReadBoundedFile(path, 8 * kCommandFileMaxBytes, bytes, problem)) return {};
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace

FirmwareLoader::Outcome FirmwareLoader::refuse(const std::string& problem) {
  device_.prompt.showMessage(problem);
  return Outcome::Refused;
}

FirmwareLoader::Outcome FirmwareLoader::fail(const std::string& problem) {
  device_.prompt.showMessage(problem);
  return Outcome::Failed;
}

FirmwareLoader::Outcome FirmwareLoader::downloadKestrelBin() {
  for (const fs::path& place : search) {
    std::error_code error;
    if (fs::exists(place, error)) return downloadFile(place);
  }
  lastFile_.clear();
  device_.prompt.showMessage(kNotFound);
  return Outcome::Failed;
}

FirmwareLoader::Outcome FirmwareLoader::downloadFile(const fs::path& path) {
  lastFile_ = path.string();
  std::vector<std::uint8_t> file;
  std::string problem;
  FirmwareParts parts;
  if (!ReadBoundedFile(path, kFirmwareBufferSize, file, problem) || !SplitFirmwareFile(file, parts, problem))
    return refuse(Format("The firmware was not loaded: %s. Nothing was sent.", problem.c_str()));
  return download(parts, lastFile_);
}

FirmwareLoader::Outcome FirmwareLoader::loadHeaderless(const fs::path& path) {
  lastFile_ = path.string();
  std::vector<std::uint8_t> file;
  std::string problem;
  FirmwareParts parts;
  if (!ReadBoundedFile(path, kFirmwareBufferSize, file, problem) ||
      !SplitHeaderlessImage(file, parts, problem))
    return refuse(Format("The firmware was not loaded: %s. Nothing was sent.", problem.c_str()));
  return download(parts, lastFile_);
}

FirmwareLoader::Outcome FirmwareLoader::chooseAndLoadHeaderless() {
  FileDialogOptions options;
  options.title = "Open Firmware File";
  options.filters = {{"bin Files(*.bin)", "*.bin"}};
  options.defaultExtension = "bin";
  const auto chosen = device_.prompt.chooseOpenFile(options);
  if (!chosen) return Outcome::Cancelled;
  return loadHeaderless(*chosen);
}

FirmwareLoader::Outcome FirmwareLoader::download(const FirmwareParts& parts, const std::string& file) {
  device_.settings.firmwareReady = false;
  if (!device::EnsureDeviceOpen(device_)) return Outcome::Failed;
  const std::size_t total = parts.ilmBody.size() + parts.dlm.size();
  std::size_t sent = 0;
  page::Report(progress, 0, total);
  if (!prepareMcu()) return fail(Format("The firmware download of %s failed: the MCU could not be prepared.", file.c_str()));
  if (!sendChunks(parts.ilmBody, kIlmBase, sent, total) || !sendChunks(parts.dlm, kDlmBase, sent, total))
    return fail(Format("The firmware download of %s failed after %zu of %zu bytes.", file.c_str(), sent, total));

  std::array<std::uint32_t, 16> vectors{};
  for (std::size_t w = 0; w < vectors.size(); ++w) vectors[w] = GetLe32(parts.vectorBlock, 4 * w);
  if (!device::FirmwareReload(device_, vectors)) return Outcome::Failed;  // its message was shown
  if (!PollUntil(device_.clock, kStartPolls, std::chrono::milliseconds(1), [&] { return mcuRunning(); }).satisfied)
    return fail(Format("The firmware of %s was downloaded, but the MCU does not run it.", file.c_str()));
  device_.settings.firmwareReady = true;
  return Outcome::Done;
}

bool FirmwareLoader::prepareMcu() {
  device::RegisterAccess access(device_);
  constexpr std::array<std::pair<std::uint32_t, std::uint32_t>, 6> kWrites = {{
      {0x0800, 1}, {0x1204, 3}, {0x09A0, 0x00400230}, {0x09A4, 1}, {0x09C4, 0x44}, {0x0A6C, 3}}};
  for (const auto& [offset, value] : kWrites)
    if (!access.WriteMacRegister(offset, value)) return false;
  return true;
}

bool FirmwareLoader::sendChunks(std::span<const std::uint8_t> memory, std::uint32_t base, std::size_t& sent,
                                std::size_t total) {
  device::RegisterAccess access(device_);
  for (std::size_t offset = 0; offset < memory.size();) {
    const std::size_t length = std::min(kFirmwareChunkSize, memory.size() - offset);
    const std::size_t rounded = (length + 3) & ~std::size_t{3};
    std::vector<std::uint8_t> packet(4 + rounded, 0);  // the tail past the image is zero
    PutLe32(packet, 0, static_cast<std::uint32_t>(rounded) | kFirmwarePort);
    std::copy_n(memory.begin() + static_cast<std::ptrdiff_t>(offset), length, packet.begin() + 4);

    if (!access.WriteSysRegister(kDestinationRegister, base + static_cast<std::uint32_t>(offset))) return false;
    if (!access.WriteSysRegister(kLengthRegister, static_cast<std::uint32_t>(rounded) << 16)) return false;
    if (!sendPacket(packet)) return false;
    std::uint32_t count = 0;
    if (!access.ReadMacRegister(kChunkCounter, count) || !access.WriteMacRegister(kChunkCounter, count + 1))
      return false;
    device_.clock.sleepMs(1);
    offset += rounded;
    sent = std::min(sent + rounded, total);
    page::Report(progress, sent, total);
  }
  return true;
}

bool FirmwareLoader::sendPacket(std::span<const std::uint8_t> packet) {
  std::vector<std::uint8_t> record(8 + packet.size(), 0);
  PutLe32(record, 0, 0);  // slot 0
  PutLe32(record, 4, static_cast<std::uint32_t>(packet.size()));
  std::copy(packet.begin(), packet.end(), record.begin() + 8);
  if (!device::LoadTxRecord(device_, record)) return false;
  if (!device::StartTxRun(device_, device::TxStartBlock{1, 1, kRawFrameType, 0, 0})) return false;
  // The next chunk rewrites the destination registers: this one must be out.
  return PollUntil(device_.clock, kSentPolls, std::chrono::milliseconds(1), [&] {
           device::TxProgressWords words{};
           return device::QueryTxProgress(device_, words).ok && words[0] >= 1;
         }).satisfied;
}

bool FirmwareLoader::mcuRunning() {
  std::uint32_t value = 0;
  return device::RegisterAccess(device_).ReadSysRegister(kDestinationRegister, value) && (value & 1) != 0;
}

FirmwareLoader::Outcome FirmwareLoader::sendCommandFile(const fs::path& path) {
  std::string problem;
  const std::string text = ReadText(path, problem);
  std::vector<std::uint8_t> packet;
  if (!problem.empty() || !ParseCommandWords(text, packet, problem))
    return refuse(Format("The command was not sent: %s.", problem.c_str()));
  if (!device::EnsureDeviceOpen(device_)) return Outcome::Failed;
  if (!sendPacket(packet)) return fail("The command packet was not sent: the driver refused it or did not send it.");
  return Outcome::Done;
}

FirmwareLoader::Outcome FirmwareLoader::chooseAndSendCommandFile() {
  FileDialogOptions options;
  options.title = "Open Command File";
  options.filters = {{"txt Files(*.txt)", "*.txt"}};
  options.defaultExtension = "txt";
  const auto chosen = device_.prompt.chooseOpenFile(options);
  if (!chosen) return Outcome::Cancelled;
  return sendCommandFile(*chosen);
}

FirmwareLoader::Outcome FirmwareLoader::command(std::uint8_t id, std::span<const std::uint8_t> payload,
                                                bool& receiving, std::vector<std::uint8_t>& response) {
  if (id > 0x7F) return refuse(Format("Command id %u is not 0 to 127.", static_cast<unsigned>(id)));
  if (payload.size() > device::kQaCmdMaxPayload)
    return refuse(Format("A command carries at most %zu bytes, not %zu.", device::kQaCmdMaxPayload, payload.size()));
  if (!device::EnsureDeviceOpen(device_)) return Outcome::Failed;
  if (!adoptRunningState()) return refuse("The firmware does not run: commands are sent only while it runs.");
  response.assign(device::kQaCmdPacketSize, 0);
  if (device::ExchangeQACmd(device_, receiving, id, payload, response) != 0)
    return fail(Format("The firmware did not answer command %u.", static_cast<unsigned>(id)));
  return Outcome::Done;
}

bool FirmwareLoader::readStatus(FirmwareStatus& status) {
  if (!device::EnsureDeviceOpen(device_)) return false;
  bool ok = device::QueryFirmwareMode(device_, status.mode);
  ok = device::GetFirmwareVersion(device_, status.version) && ok;
  std::uint32_t mcu = 0;
  ok = device::RegisterAccess(device_).ReadSysRegister(kDestinationRegister, mcu) && ok;
  status.running = (mcu & 1) != 0;
  status.ready = device_.settings.firmwareReady;
  return ok;
}

bool FirmwareLoader::adoptRunningState() {
  device_.settings.firmwareReady = mcuRunning();
  return device_.settings.firmwareReady;
}

}  // namespace kqa::txrx
