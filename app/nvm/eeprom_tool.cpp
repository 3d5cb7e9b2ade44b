#include "app/nvm/eeprom_tool.h"

#include <algorithm>
#include <array>

#include "app/device/connection.h"
#include "app/device/efuse_accounting.h"
#include "app/device/image_file.h"
#include "app/device/messages.h"
#include "app/device/text_format.h"
#include "app/device/text_parsing.h"
#include "app/registers/hex_field.h"
#include "platform/bytes/little_endian.h"
#include "platform/ioctl/control_codes.h"
#include "platform/prompt/file_dialog.h"

namespace kqa::nvm {
namespace {

using device::Format;

constexpr std::size_t kHexViewSize = 512;
constexpr std::size_t kBlockRead = 512;
constexpr std::size_t kMaxBlockWrite = 62;
constexpr std::size_t kRawChunk = 128;
constexpr std::size_t kLedBytes = 6;  // the words 0x3C, 0x3E and 0x40

constexpr const char* kFileFilter = "EEPROM content File (*.bin)|*.bin||";
constexpr const char* kFileNotFound = "EEPROM Register File not found!";

FileDialogOptions ImageDialog(const char* title) {
  FileDialogOptions dialog;
  dialog.title = title;
  dialog.filters = ParseFilterList(kFileFilter);
  dialog.defaultExtension = "bin";
  return dialog;
}

std::string FileTooShort(const std::string& path, std::size_t size, std::size_t needed,
                         const char* what) {
  return Format("The file %s holds %zu byte%s; %s must hold %zu. Nothing was written.", path.c_str(),
                size, size == 1 ? "" : "s", what, needed);
}

}  // namespace

EepromTool::EepromTool(device::ConfigMemory memory)
    : device_(memory.device), access_(memory), buffer_(kNvmSpace, 0) {}

EepromTool::Outcome EepromTool::refuse(const std::string& message) {
  device_.prompt.showMessage(message);
  return Outcome::Refused;
}

EepromTool::Outcome EepromTool::refuseHex(const char* field, const std::string& text) {
  return refuse(registers::HexFieldProblem(field, text));
}

EepromTool::Outcome EepromTool::activate() {
  refreshFreeBlocks();
  readMac();
  if (ledActive) chooseLedActive(*ledActive);
  return readAll();
}

EepromTool::Outcome EepromTool::readAll() {
  const std::size_t size = std::min(buffer_.size(), access_.readableSize());
  std::fill(buffer_.begin() + static_cast<std::ptrdiff_t>(size), buffer_.end(), std::uint8_t{0xFF});
  return access_.read(0, std::span(buffer_).first(size));
}

EepromTool::Outcome EepromTool::readWrite() {
  const auto offset = registers::ParseHexField(offsetText);
  if (!offset) return refuseHex("Offset", offsetText);
  if (*offset > 0xFFFF)
    return refuse(device::messages::OutOfRange(*offset, 1, kNvmSpace, access_.memoryName()));
  return valueMode ? singleByte(static_cast<std::uint16_t>(*offset))
                   : block(static_cast<std::uint16_t>(*offset));
}

EepromTool::Outcome EepromTool::singleByte(std::uint16_t offset) {
  if (direction == registers::Direction::Write) {
    const auto value = registers::ParseHexField(valueText);
    if (!value) return refuseHex("Value", valueText);
    if (*value > 0xFF)
      return refuse(Format("Value: %X is more than one byte. Enter 00 to FF.", *value));
    const std::array<std::uint8_t, 1> byte{static_cast<std::uint8_t>(*value)};
    return write(offset, byte, EfuseQuestion::UnlessWarningDisabled);
  }
  // The word that holds the byte: its low byte at an even offset.
  std::array<std::uint8_t, 2> word{};
  const auto even = static_cast<std::uint16_t>(offset & ~1u);
  const Outcome outcome = access_.read(even, word);
  if (outcome == Outcome::Done) valueText = Format("%02X", word[offset & 1]);
  return outcome;
}

EepromTool::Outcome EepromTool::block(std::uint16_t offset) {
  if (direction == registers::Direction::Read) {
    // 512 bytes into the page buffer at the same offset, as far as the
    // buffer and the memory reach.
    const std::size_t end = std::min({offset + kBlockRead, buffer_.size(), access_.readableSize()});
    if (offset >= end)
      return refuse(device::messages::OutOfRange(offset, kBlockRead, end, access_.memoryName()));
    return access_.read(offset, std::span(buffer_).subspan(offset, end - offset));
  }
  std::uint32_t length = 0;
  if (!device::ParseDecimalNumber(lengthText, length))
    return refuse("Length: \"" + lengthText + "\" is not a decimal number.");
  if (length > kMaxBlockWrite) return refuse("Write EEPROM Data length must <= 62");
  if (length == 0) return refuse("Data length > 0");
  // The block comes from the hex view: it must lie within it.
  if (offset + length > kHexViewSize)
    return refuse(device::messages::OutOfRange(offset, length, kHexViewSize, "hex view"));
  return write(offset, std::span(buffer_).subspan(offset, length), EfuseQuestion::Always);
}

EepromTool::Outcome EepromTool::write(std::uint16_t offset, std::span<const std::uint8_t> data,
                                      EfuseQuestion question) {
  const Outcome outcome = access_.write(offset, data, question, progress);
  if (access_.onEfuse()) refreshFreeBlocks();
  return outcome;
}

EepromTool::Outcome EepromTool::saveAs() {
  const std::optional<std::string> chosen = device_.prompt.chooseSaveFile(ImageDialog("Save As"));
  if (!chosen) return Outcome::Cancelled;
  return saveTo(AppendExtensionIfNoDot(*chosen, "bin"));
}

EepromTool::Outcome EepromTool::loadFile() {
  const std::optional<std::string> chosen = device_.prompt.chooseOpenFile(ImageDialog("Open"));
  if (!chosen) return Outcome::Cancelled;
  return loadFrom(AppendExtensionIfNoDot(*chosen, "bin"));
}

EepromTool::Outcome EepromTool::saveTo(const std::string& path) {
  // A file the save may not replace is refused before the chip is read.
  if (auto refused = device::NotReplaceable(path))
    return refuse((rawMode ? "The RAW image was not saved: " : "The image was not saved: ") + *refused);
  if (rawMode) return saveRaw(path);
  const bool physical = access_.onEfuse() && access_.view == EfuseView::Physical;
  const std::size_t size = std::min(physical ? kPhysicalSaveSize : kNvmSpace, access_.readableSize());
  const std::span<std::uint8_t> bytes = std::span(buffer_).first(size);
  const Outcome read = access_.read(0, bytes);
  if (read != Outcome::Done) return read;  // the file is left as it was
  std::string problem;
  if (!device::WriteFileWhole(path, bytes, &problem)) {
    device_.prompt.showMessage("The image was not saved: " + problem);
    return Outcome::Failed;
  }
  return Outcome::Done;
}

EepromTool::Outcome EepromTool::saveRaw(const std::string& path) {
  if (!device::EnsureDeviceOpen(device_)) return Outcome::Failed;
  std::vector<std::uint8_t> image(kRawImageSize);
  for (std::size_t at = 0; at < image.size(); at += kRawChunk) {
    std::array<std::uint8_t, 4> request{};
    PutLe16(request, 0, static_cast<std::uint16_t>(at));
    PutLe16(request, 2, static_cast<std::uint16_t>(kRawChunk));
    const device::CallResult result = device::CallDevice(
        device_, ioctl::VQ_OID_VENDOR_EEPROM_READ, request, std::span(image).subspan(at, kRawChunk));
    if (!result) {
      // Nothing is saved: a file of zeros would pass for an EEPROM image.
      device_.prompt.showMessage(
          Format("EEPROM_READ(ReadEEPROM) DeviceIoControl failed!  Error = %d", static_cast<int>(result.error)));
      return Outcome::Failed;
    }
    page::Report(progress, at + kRawChunk, image.size());
  }
  std::string problem;
  if (!device::WriteFileWhole(path, image, &problem)) {
    device_.prompt.showMessage("The RAW image was not saved: " + problem);
    return Outcome::Failed;
  }
  return Outcome::Done;
}

EepromTool::Outcome EepromTool::loadRaw(const std::string& path) {
  if (auto refused = device::NotARegularFile(path, "The file")) return refuse(*refused + ". Nothing was written.");
  std::vector<std::uint8_t> image;
  if (!device::ReadFileStart(path, kRawImageSize, image, nullptr)) return refuse(kFileNotFound);
  if (image.size() < kRawImageSize)
    return refuse(FileTooShort(path, image.size(), kRawImageSize, "a RAW image"));
  if (!device::EnsureDeviceOpen(device_)) return Outcome::Failed;
  Outcome outcome = Outcome::Done;
  for (std::size_t at = 0; at < image.size(); at += kRawChunk) {
    std::vector<std::uint8_t> record(4);
    PutLe16(record, 0, static_cast<std::uint16_t>(at));
    PutLe16(record, 2, static_cast<std::uint16_t>(kRawChunk));
    record.insert(record.end(), image.begin() + static_cast<std::ptrdiff_t>(at),
                  image.begin() + static_cast<std::ptrdiff_t>(at + kRawChunk));
    const device::CallResult result =
        device::CallDevice(device_, ioctl::VQ_OID_VENDOR_EEPROM_WRITE, record, {});
    if (!result) {
      device_.prompt.showMessage(Format("Load EEPROM_WRITE DeviceIoControl failed!  Error = %d",
                                        static_cast<int>(result.error)));
      outcome = Outcome::Failed;  // one message: the chunks after it are not sent
      break;
    }
    page::Report(progress, at + kRawChunk, image.size());
  }
  readAll();
  return outcome;
}

EepromTool::Outcome EepromTool::loadTarget(const std::string& path, std::vector<std::uint8_t>& target) {
  if (auto refused = device::NotARegularFile(path, "The file")) return refuse(*refused + ". Nothing was written.");
  if (!device::ReadFileStart(path, kImageLoadSize, target, nullptr)) return refuse(kFileNotFound);
  if (target.size() < kImageLoadSize)
    return refuse(FileTooShort(path, target.size(), kImageLoadSize, "a configuration image"));
  if (!keepTxPower) return Outcome::Done;
  if (access_.onEfuse() && access_.view == EfuseView::Physical)
    return refuse("Not supported in eFuse Mode");
  const Outcome read = readAll();
  if (read != Outcome::Done) return read;
  KeepCurrentTxPower(target, buffer_);
  return Outcome::Done;
}

EepromTool::Outcome EepromTool::planEfuseLoad(const std::string& path, device::EfuseWritePlan& plan) {
  std::vector<std::uint8_t> target;
  const Outcome outcome = loadTarget(path, target);
  if (outcome != Outcome::Done) return outcome;
  if (!device::EnsureDeviceOpen(device_)) return Outcome::Failed;
  plan = device::PlanEfuseWrite(access_.memory(), 0, target);
  return plan.verdict == device::EfuseWriteResult::DeviceFailed ? Outcome::Failed : Outcome::Done;
}

EepromTool::Outcome EepromTool::loadFrom(const std::string& path) {
  if (rawMode) return loadRaw(path);
  std::vector<std::uint8_t> target;
  const Outcome prepared = loadTarget(path, target);
  if (prepared != Outcome::Done) return prepared;
  // The eFuse: the whole image is planned, refused or asked about, and
  // burnt with its blocks' progress; the other back ends take it in pieces.
  const Outcome outcome = write(0, target, EfuseQuestion::Always);
  if (outcome == Outcome::Refused || outcome == Outcome::Cancelled) return outcome;
  readAll();
  return outcome;
}

EepromTool::Outcome EepromTool::readMac() {
  MacAddress mac{};
  const Outcome outcome = access_.read(kMacOffset, mac);
  if (outcome == Outcome::Done) macText = FormatMac(mac);
  return outcome;
}

EepromTool::Outcome EepromTool::setMac() {
  const std::optional<MacAddress> mac = ParseMacText(macText);
  if (!mac)
    return refuse("MAC Addr.: \"" + macText +
                  "\" is not a MAC address. Enter exactly 12 hexadecimal digits, for example "
                  "024B51000001. Nothing was written.");
  return write(kMacOffset, *mac, EfuseQuestion::UnlessWarningDisabled);
}

EepromTool::Outcome EepromTool::readLedWords(LedWords& words) {
  std::array<std::uint8_t, kLedBytes> bytes{};
  const Outcome outcome = access_.read(kLedModeWord, bytes);
  if (outcome == Outcome::Done)
    words = {GetLe16(bytes, 0), GetLe16(bytes, 2), GetLe16(bytes, 4)};
  return outcome;
}

EepromTool::Outcome EepromTool::chooseLedActive(LedActive active) {
  ledActive = active;
  LedWords words;
  const Outcome outcome = readLedWords(words);
  if (outcome == Outcome::Done) DecodeLeds(words, active, leds);
  return outcome;
}

EepromTool::Outcome EepromTool::setLeds() {
  LedWords words;
  const Outcome read = readLedWords(words);
  if (read != Outcome::Done) return read;
  const LedWords encoded = EncodeLeds(words, leds, ledActive);
  std::array<std::uint8_t, kLedBytes> bytes{};
  PutLe16(bytes, 0, encoded.mode);
  PutLe16(bytes, 2, encoded.activity);
  PutLe16(bytes, 4, encoded.polarity);
  return write(kLedModeWord, bytes, EfuseQuestion::Always);
}

EepromTool::Outcome EepromTool::setEfuseMode(bool on) {
  access_.setEfuseMode(on);
  refreshFreeBlocks();
  return readAll();
}

EepromTool::Outcome EepromTool::setBufferMode(bool on) {
  access_.setBufferMode(on);
  return readAll();
}

EepromTool::Outcome EepromTool::setView(EfuseView view) {
  access_.view = view;
  return readAll();
}

void EepromTool::refreshFreeBlocks() {
  if (access_.efuseMode() && device::EnsureDeviceOpen(device_))
    freeBlocks_ = device::EfuseFreeBlockCount(access_.memory());
}

std::string EepromTool::freeBlockText() const {
  return Format("%d / %d", freeBlocks_, access_.efuseBlocks());
}

std::string EepromTool::nvmType() const {
  return access_.efuseMode() ? "E-fuse" : "EEPROM";
}

}  // namespace kqa::nvm
