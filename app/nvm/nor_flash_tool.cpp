#include "app/nvm/nor_flash_tool.h"

#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <vector>

#include "app/device/connection.h"
#include "app/device/image_file.h"
#include "app/device/text_format.h"
#include "app/device/text_parsing.h"
#include "app/registers/hex_field.h"
#include "platform/bytes/little_endian.h"
#include "platform/ioctl/control_codes.h"
#include "platform/prompt/file_dialog.h"

namespace kqa::nvm {
namespace {

using device::Format;
using namespace std::chrono_literals;

constexpr auto kAfterLoad = 50ms;
constexpr auto kAfterSavedUnit = 2ms;

std::string Failed(const std::string& prefix, Win32Error error) {
  return prefix + Format("DeviceIoControl failed!  Error = %d", static_cast<int>(error));
}

FileDialogOptions FlashDialog(const char* title, const char* filter) {
  FileDialogOptions dialog;
  dialog.title = title;
  dialog.filters = ParseFilterList(filter);
  dialog.defaultExtension = "bin";
  return dialog;
}

// The unit's request: flash address, length.
std::array<std::uint8_t, 8> UnitRequest(std::size_t unit) {
  std::array<std::uint8_t, 8> request{};
  PutLe32(request, 0, static_cast<std::uint32_t>(unit * kFlashUnit));
  PutLe32(request, 4, static_cast<std::uint32_t>(kFlashUnit));
  return request;
}

}  // namespace

NorFlashTool::NorFlashTool(device::DeviceContext& device) : device_(device) {}

NorFlashTool::Outcome NorFlashTool::refuse(const std::string& message) {
  device_.prompt.showMessage(message);
  return Outcome::Refused;
}

bool NorFlashTool::decimalField(const char* name, const std::string& text, std::uint32_t& value) {
  if (device::ParseDecimalNumber(text, value) && value <= 0xFFFF) return true;
  refuse(Format("%s: \"%s\" is not a decimal number from 0 to 65535.", name, text.c_str()));
  return false;
}

bool NorFlashTool::hexField(const char* name, const std::string& text, std::uint32_t& value) {
  const auto parsed = registers::ParseHexField(text);
  if (parsed && *parsed <= 0xFFFF) {
    value = *parsed;
    return true;
  }
  refuse(parsed ? Format("%s: %X does not fit in 4 hexadecimal digits.", name, *parsed)
                : registers::HexFieldProblem(name, text));
  return false;
}

bool NorFlashTool::unitsField(std::uint32_t& units) {
  if (!decimalField("Flash Size", sizeText, units)) return false;
  if (units <= kFlashUnits) return true;
  refuse(Format("Flash Size: %u units of 4 KB is more than the flash holds; it holds %u units (4 MB).",
                units, kFlashUnits));
  return false;
}

bool NorFlashTool::send(std::uint32_t code, std::span<const std::uint8_t> input, const std::string& failure) {
  const device::CallResult result = device::CallDevice(device_, code, input, {});
  if (!result) device_.prompt.showMessage(Failed(failure, result.error));
  return result.ok;
}

NorFlashTool::Outcome NorFlashTool::erase(std::uint32_t argument, const char* failure) {
  if (!device::EnsureDeviceOpen(device_)) return Outcome::Failed;
  page::Report(eraseProgress, 0, 1);
  std::array<std::uint8_t, 4> input{};
  PutLe32(input, 0, argument);
  if (!send(ioctl::VQ_OID_USB_VENDOR_ERASE_FLASH, input, failure)) return Outcome::Failed;
  page::Report(eraseProgress, 1, 1);
  device_.prompt.showMessage("Erase Flase Data ... OK!");
  return Outcome::Done;
}

NorFlashTool::Outcome NorFlashTool::eraseBlock() {
  std::uint32_t block = 0;
  if (!hexField("BlockNo.-16", blockText, block)) return Outcome::Refused;
  if (block >= kFlashBlocks)
    return refuse(Format("BlockNo.-16: block %X is past the flash; it holds blocks 0 to %X (4 MB).", block,
                         kFlashBlocks - 1));
  return erase(block * kFlashBlock, "Erase Flash ");
}

NorFlashTool::Outcome NorFlashTool::eraseAtAddress() {
  std::uint32_t address = 0;
  if (!hexField("Addr.", addressText, address)) return Outcome::Refused;
  return erase(address, "Erase Flash ");
}

NorFlashTool::Outcome NorFlashTool::eraseBlocks() {
  std::uint32_t count = 0;
  if (!decimalField("TotalBlockNo-10", countText, count)) return Outcome::Refused;
  if (count > kFlashBlocks)
    return refuse(Format("TotalBlockNo-10: %u blocks is more than the flash holds; it holds %u blocks of 64 KB "
                         "(4 MB).", count, kFlashBlocks));
  if (count > 0 && !device::EnsureDeviceOpen(device_)) return Outcome::Failed;
  for (std::uint32_t block = 0; block < count; ++block) {
    std::array<std::uint8_t, 4> input{};
    PutLe32(input, 0, block * kFlashBlock);
    if (!send(ioctl::VQ_OID_USB_VENDOR_ERASE_FLASH, input, Format("Erase Flash = %u ", block)))
      return Outcome::Failed;  // the blocks after it are not erased
    page::Report(eraseProgress, block + 1, count);
  }
  device_.prompt.showMessage("Erase ALL Flash Data ... OK!");
  return Outcome::Done;
}

NorFlashTool::Outcome NorFlashTool::eraseChip() {
  if (!device::EnsureDeviceOpen(device_)) return Outcome::Failed;
  if (!send(ioctl::VQ_OID_USB_VENDOR_ERASE_FLASH_CHIP, {}, "Erase Flash = ")) return Outcome::Failed;
  device_.prompt.showMessage("Erase Chip ... OK!");
  return Outcome::Done;
}

NorFlashTool::Outcome NorFlashTool::loadFile() {
  const std::optional<std::string> chosen = device_.prompt.chooseOpenFile(
      FlashDialog("Open", "N-Type Flash content File (*.bin)|*.bin||"));
  if (!chosen) return Outcome::Cancelled;
  return loadFrom(*chosen);
}

NorFlashTool::Outcome NorFlashTool::saveFile() {
  const std::optional<std::string> chosen = device_.prompt.chooseSaveFile(
      FlashDialog("Save As", "NType Flash content File (*.bin)|*.bin||"));
  if (!chosen) return Outcome::Cancelled;
  return saveTo(AppendExtensionIfNoDot(*chosen, "bin"));
}

NorFlashTool::Outcome NorFlashTool::loadFrom(const std::string& path) {
  std::uint32_t units = 0;
  if (!unitsField(units)) return Outcome::Refused;
  if (auto refused = device::NotARegularFile(path, "The file")) return refuse(*refused + ". Nothing was written.");
  std::ifstream file(path, std::ios::binary);
  std::error_code error;
  if (!file || std::filesystem::is_directory(path, error))
    return refuse("N-Type Flash Register File not found!");
  if (units > 0 && !device::EnsureDeviceOpen(device_)) return Outcome::Failed;

  std::size_t fromFile = 0;
  std::vector<std::uint8_t> request(8 + kFlashUnit);
  for (std::uint32_t unit = 0; unit < units; ++unit) {
    std::copy_n(UnitRequest(unit).begin(), 8, request.begin());
    // Past the end of the file the flash is left as erased flash reads.
    std::fill(request.begin() + 8, request.end(), std::uint8_t{0xFF});
    file.read(reinterpret_cast<char*>(request.data() + 8), static_cast<std::streamsize>(kFlashUnit));
    fromFile += static_cast<std::size_t>(file.gcount());
    if (file.bad()) return refuse("The file " + path + " could not be read; the load stopped at unit " +
                                  std::to_string(unit) + ".");
    if (!send(ioctl::VQ_OID_USB_VENDOR_WRITE_FLASH, request, Format("Load NType-Flash = %u ", unit)))
      return Outcome::Failed;  // the units after it are not programmed
    page::Report(loadProgress, unit + 1, units);
  }
  device_.clock.sleep(kAfterLoad);
  std::string message = "Load Flash Data from File ... OK!";
  const std::size_t wanted = std::size_t{units} * kFlashUnit;
  if (fromFile < wanted)
    message += Format(
        "\nThe file holds %zu bytes, fewer than the %u units of 4 KB (%zu bytes): the last %zu bytes "
        "were written as 0xFF (erased flash).",
        fromFile, units, wanted, wanted - fromFile);
  device_.prompt.showMessage(message);
  return Outcome::Done;
}

NorFlashTool::Outcome NorFlashTool::saveTo(const std::string& path) {
  std::uint32_t units = 0;
  if (!unitsField(units)) return Outcome::Refused;
  if (auto refused = device::NotReplaceable(path))
    return refuse("Save Flash Data to File failed: " + *refused);
  if (units > 0 && !device::EnsureDeviceOpen(device_)) return Outcome::Failed;
  device::ReplacingFile file(path);
  std::string problem;
  if (!file.open(&problem)) {
    device_.prompt.showMessage("Save Flash Data to File failed: " + problem);
    return Outcome::Failed;
  }
  std::vector<std::uint8_t> unitBytes(kFlashUnit);
  for (std::uint32_t unit = 0; unit < units; ++unit) {
    const device::CallResult result =
        device::CallDevice(device_, ioctl::VQ_OID_USB_VENDOR_READ_FLASH, UnitRequest(unit), unitBytes);
    if (!result) {
      // The file is not replaced: a partial image would pass for the flash.
      device_.prompt.showMessage(
          Failed(Format("Load NType-Flash = %u  VQ_OID_USB_VENDOR_READ_FLASH ", unit), result.error) +
          Format("\n%s was not written: unit %u of %u could not be read.", path.c_str(), unit, units));
      return Outcome::Failed;
    }
    if (!file.write(unitBytes, &problem)) {
      device_.prompt.showMessage("Save Flash Data to File failed: " + problem);
      return Outcome::Failed;
    }
    device_.clock.sleep(kAfterSavedUnit);
    page::Report(saveProgress, unit + 1, units);
  }
  if (!file.commit(&problem)) {
    device_.prompt.showMessage("Save Flash Data to File failed: " + problem);
    return Outcome::Failed;
  }
  device_.prompt.showMessage("Save Flash Data to File ... OK!");
  return Outcome::Done;
}

NorFlashTool::Outcome NorFlashTool::selectWidth(FlashWidth width) {
  if (!device::EnsureDeviceOpen(device_)) return Outcome::Failed;
  std::array<std::uint8_t, 4> input{};
  PutLe32(input, 0, width == FlashWidth::Bits8 ? 0 : 1);
  return page::DoneIf(send(ioctl::VQ_OID_USB_SET_FLASH_WIDTH, input, "Set Flash Width "));
}

NorFlashTool::Outcome NorFlashTool::selectFirmwareSource(bool external) {
  if (!device::EnsureDeviceOpen(device_)) return Outcome::Failed;
  std::array<std::uint8_t, 2> input{};
  PutLe16(input, 0, external ? 0 : 1);
  return page::DoneIf(send(ioctl::VQ_OID_USB_VENDOR_SELECT_FLASH, input, "Select Firmware Source "));
}

NorFlashTool::Outcome NorFlashTool::softDisconnect() {
  if (!device::EnsureDeviceOpen(device_)) return Outcome::Failed;
  return page::DoneIf(send(ioctl::VQ_OID_USB_VENDOR_MODE_2, {}, "Soft Disconnect "));
}

}  // namespace kqa::nvm
