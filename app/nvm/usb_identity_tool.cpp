#include "app/nvm/usb_identity_tool.h"

#include <algorithm>
#include <array>

#include "app/device/text_format.h"
#include "app/registers/hex_field.h"
#include "platform/bytes/little_endian.h"

namespace kqa::nvm {
namespace {

using device::Format;

constexpr std::size_t kIdentitySize = 10;
constexpr std::uint8_t kSerialOn = 3;

// A text field's characters, up to its first zero byte.
std::string TextOf(std::span<const std::uint8_t> bytes) {
  const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
  return std::string(bytes.begin(), end);
}

}  // namespace

UsbIdentityTool::UsbIdentityTool(device::ConfigMemory memory)
    : device_(memory.device), access_(memory) {}

UsbIdentityTool::Outcome UsbIdentityTool::refuse(const std::string& message) {
  device_.prompt.showMessage(message);
  return Outcome::Refused;
}

std::string UsbIdentityTool::unreachableReason() {
  const std::size_t size = access_.writableSize();
  if (size >= kStringArea + kStringAreaSize) return {};
  return Format(
      "The USB identity and the string descriptors lie at 0x208-0x3FF, beyond the %zu bytes of the %s: "
      "this page cannot read or write them there.",
      size, std::string(access_.memoryName()).c_str());
}

bool UsbIdentityTool::reachable() {
  const std::string reason = unreachableReason();
  if (reason.empty()) return true;
  device_.prompt.showMessage(reason + " Nothing was written.");
  return false;
}

UsbIdentityTool::Outcome UsbIdentityTool::write(std::uint16_t offset, std::span<const std::uint8_t> data) {
  return access_.write(offset, data, EfuseQuestion::Always);
}

UsbIdentityTool::Outcome UsbIdentityTool::activate() {
  strings_.clear();
  wlan = flash = {};
  vendorInformation.clear();
  productName.clear();
  productRevision.clear();
  stringText.clear();
  serialEnabled_ = false;
  // On the eFuse the page shows nothing (its caller shows why).
  if (!unreachableReason().empty()) return Outcome::Refused;
  const Outcome strings = readStrings();
  const Outcome identity = readIdentity();
  return strings != Outcome::Done ? strings : identity;
}

UsbIdentityTool::Outcome UsbIdentityTool::readStrings() {
  StringRegion region{};
  const Outcome outcome = access_.read(kStringTable, region);
  strings_ = outcome == Outcome::Done ? ParseStrings(region) : std::vector<StoredString>{};
  return outcome;
}

UsbIdentityTool::Outcome UsbIdentityTool::readFunction(std::uint16_t at, UsbFunctionFields& fields) {
  std::array<std::uint8_t, kIdentitySize> bytes{};
  const Outcome outcome = access_.read(at, bytes);
  if (outcome != Outcome::Done) return outcome;
  fields.vendorText = Format("%04X", GetLe16(bytes, 0));
  fields.productText = Format("%04X", GetLe16(bytes, 2));
  fields.releaseText = Format("%04X", GetLe16(bytes, 4));
  fields.manufacturer = bytes[6];
  fields.product = bytes[7];
  fields.serial = bytes[8];
  return Outcome::Done;
}

UsbIdentityTool::Outcome UsbIdentityTool::readIdentity() {
  Outcome outcome = readFunction(kWlanIdentity, wlan);
  if (outcome == Outcome::Done) outcome = readFunction(kFlashIdentity, flash);
  // 0x260 to 0x27B: the three texts in one read.
  std::array<std::uint8_t, kRevisionText + 4 - kVendorText> texts{};
  if (outcome == Outcome::Done) outcome = access_.read(kVendorText, texts);
  if (outcome != Outcome::Done) return outcome;
  vendorInformation = TextOf(std::span(texts).subspan(0, 8));
  productName = TextOf(std::span(texts).subspan(kProductText - kVendorText, 16));
  productRevision = TextOf(std::span(texts).subspan(kRevisionText - kVendorText, 4));
  std::array<std::uint8_t, 1> serial{};
  outcome = access_.read(kSerialIndex, serial);
  if (outcome == Outcome::Done) serialEnabled_ = serial[0] != 0;
  return outcome;
}

std::size_t UsbIdentityTool::freeStringSpace() const {
  return kStringAreaSize - NextStringOffset(strings_);
}

UsbIdentityTool::Outcome UsbIdentityTool::writeFunction(std::uint16_t at, const UsbFunctionFields& fields) {
  std::array<std::uint8_t, kIdentitySize> bytes{};
  const Outcome read = access_.read(at, bytes);
  if (read != Outcome::Done) return read;
  // The texts were checked before anything was written.
  PutLe16(bytes, 0, static_cast<std::uint16_t>(*registers::ParseHexField(fields.vendorText)));
  PutLe16(bytes, 2, static_cast<std::uint16_t>(*registers::ParseHexField(fields.productText)));
  PutLe16(bytes, 4, static_cast<std::uint16_t>(*registers::ParseHexField(fields.releaseText)));
  if (fields.manufacturer) bytes[6] = static_cast<std::uint8_t>(*fields.manufacturer);
  if (fields.product) bytes[7] = static_cast<std::uint8_t>(*fields.product);
  if (fields.serial) {
    bytes[8] = static_cast<std::uint8_t>(*fields.serial);
    bytes[9] = 1;  // one configuration
  }
  return write(at, bytes);
}

UsbIdentityTool::Outcome UsbIdentityTool::writeText(std::uint16_t at, std::size_t size,
                                                    const std::string& text) {
  std::vector<std::uint8_t> bytes(size, 0);
  std::copy(text.begin(), text.end(), bytes.begin());
  return write(at, bytes);
}

UsbIdentityTool::Outcome UsbIdentityTool::editIdentity() {
  if (!reachable()) return Outcome::Refused;
  // Every field is checked before the first byte is written.
  struct Hex {
    const char* name;
    const std::string* text;
  };
  std::vector<Hex> fields = {{"VID", &wlan.vendorText}, {"PID", &wlan.productText},
                             {"Release Number", &wlan.releaseText}};
  if (withFlash)
    fields.insert(fields.end(), {{"Flash VID", &flash.vendorText}, {"Flash PID", &flash.productText},
                                 {"Flash Release Number", &flash.releaseText}});
  for (const Hex& field : fields) {
    const auto value = registers::ParseHexField(*field.text);
    if (!value) return refuse(registers::HexFieldProblem(field.name, *field.text));
    if (*value > 0xFFFF) return refuse(Format("%s: %X does not fit in 16 bits (0000 to FFFF).", field.name, *value));
  }
  struct Text {
    const char* name;
    const std::string* text;
    std::size_t size;
  };
  const Text texts[] = {{"Vendor Information", &vendorInformation, 8},
                        {"Pruduct Name", &productName, 16},
                        {"Pruduct Revision", &productRevision, 4}};
  if (withFlash) {
    for (const Text& text : texts) {
      if (text.text->size() > text.size)
        return refuse(Format("%s holds %zu characters at most; \"%s\" has %zu.", text.name, text.size,
                             text.text->c_str(), text.text->size()));
      if (std::any_of(text.text->begin(), text.text->end(),
                      [](char c) { return static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E; }))
        return refuse(Format("%s: \"%s\" holds characters other than printable ASCII.", text.name,
                             text.text->c_str()));
    }
  }

  Outcome outcome = writeFunction(kWlanIdentity, wlan);
  if (outcome != Outcome::Done || !withFlash) return outcome;
  outcome = writeFunction(kFlashIdentity, flash);
  const std::uint16_t at[] = {kVendorText, kProductText, kRevisionText};
  for (std::size_t i = 0; i < 3 && outcome == Outcome::Done; ++i)
    outcome = writeText(at[i], texts[i].size, *texts[i].text);
  return outcome;
}

UsbIdentityTool::Outcome UsbIdentityTool::encode(std::u16string& units) {
  const std::optional<std::u16string> converted = ToUtf16(stringText);
  if (!converted) return refuse("The string is not valid text (UTF-8).");
  // An empty descriptor would take an index slot and show as a blank row.
  if (converted->empty()) return refuse("The string is empty: enter its text first.");
  if (converted->size() > kMaxStringCharacters)
    return refuse(Format("A string descriptor holds %zu characters at most; this one has %zu.",
                         kMaxStringCharacters, converted->size()));
  units = *converted;
  return Outcome::Done;
}

UsbIdentityTool::Outcome UsbIdentityTool::addString() {
  if (!reachable()) return Outcome::Refused;
  if (strings_.size() >= kMaxStrings) return refuse("String Descriptor's count can't more than 10 !");
  std::u16string units;
  if (const Outcome checked = encode(units); checked != Outcome::Done) return checked;
  const std::vector<std::uint8_t> descriptor = EncodeStringDescriptor(units);
  if (descriptor.size() > freeStringSpace()) return refuse("String Descriptor's len is too long !");
  // The next table entry after the last one used: the new string's index.
  const std::size_t index = strings_.empty() ? 1 : strings_.back().index + 1;
  if (index >= kStringTableEntries)
    return refuse(Format("The string table's %zu entries are all used.", kStringTableEntries - 1));
  const auto offset = static_cast<std::uint8_t>(NextStringOffset(strings_));

  // The descriptor first, so that the table never points at bytes that are not one.
  Outcome outcome = write(static_cast<std::uint16_t>(kStringArea + offset), descriptor);
  const std::array<std::uint8_t, 1> entry{offset};
  if (outcome == Outcome::Done) outcome = write(static_cast<std::uint16_t>(kStringTable + index), entry);
  const std::array<std::uint8_t, 1> slot{static_cast<std::uint8_t>(index)};
  if (outcome == Outcome::Done) outcome = write(kStringIndexSlots[strings_.size()], slot);
  readStrings();
  if (outcome == Outcome::Done) stringText.clear();
  return outcome;
}

UsbIdentityTool::Outcome UsbIdentityTool::replaceString(std::size_t row) {
  if (!reachable()) return Outcome::Refused;
  if (row >= strings_.size()) return refuse("No Selected Item");
  std::u16string units;
  if (const Outcome checked = encode(units); checked != Outcome::Done) return checked;
  const StoredString& old = strings_[row];
  std::vector<std::uint8_t> descriptor = EncodeStringDescriptor(units);
  // The string that follows it in the area limits how long it may grow.
  std::size_t limit = kStringAreaSize;
  bool followed = false;
  for (const StoredString& other : strings_)
    if (other.offset > old.offset && other.offset < limit) {
      limit = other.offset;
      followed = true;
    }
  if (old.offset + descriptor.size() > limit) {
    if (followed)
      return refuse(Format("String Descriptor len can't more than %zu", (limit - old.offset - 2) / 2));
    return refuse("String Descriptor's len is too long !");
  }
  // A shorter string leaves zeros where the old one ended.
  if (descriptor.size() < old.length) descriptor.resize(old.length, 0);
  const Outcome outcome = write(static_cast<std::uint16_t>(kStringArea + old.offset), descriptor);
  readStrings();
  if (outcome == Outcome::Done) stringText.clear();
  return outcome;
}

UsbIdentityTool::Outcome UsbIdentityTool::clearStrings() {
  if (!reachable()) return Outcome::Refused;
  Outcome outcome = Outcome::Done;
  const std::array<std::uint8_t, 1> zero{0};
  for (std::uint16_t slot : kStringIndexSlots)
    if (outcome == Outcome::Done) outcome = write(slot, zero);
  // Table entries 1 to 15: none.
  std::array<std::uint8_t, kStringTableEntries - 1> none{};
  none.fill(0xFF);
  if (outcome == Outcome::Done) outcome = write(kStringTable + 1, none);
  readStrings();
  readIdentity();
  return outcome;
}

UsbIdentityTool::Outcome UsbIdentityTool::defaultStrings() {
  if (!reachable()) return Outcome::Refused;
  const StringRegion region = DefaultStringRegion();
  Outcome outcome = write(kStringTable, region);
  // Manufacturer string 1, product string 2.
  const std::array<std::uint8_t, 2> indices{1, 2};
  if (outcome == Outcome::Done) outcome = write(kStringIndexSlots[0], indices);
  readStrings();
  readIdentity();
  return outcome;
}

UsbIdentityTool::Outcome UsbIdentityTool::setSerialNumber(bool enabled) {
  if (!reachable()) return Outcome::Refused;
  // Only the index byte: the configuration count at 0x211 stays.
  const std::array<std::uint8_t, 1> index{enabled ? kSerialOn : std::uint8_t{0}};
  const Outcome outcome = write(kSerialIndex, index);
  if (outcome == Outcome::Done) {
    serialEnabled_ = enabled;
    wlan.serial = index[0];
  }
  return outcome;
}

}  // namespace kqa::nvm
