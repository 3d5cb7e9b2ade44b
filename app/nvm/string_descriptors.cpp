#include "app/nvm/string_descriptors.h"

#include <algorithm>

namespace kqa::nvm {
namespace {

constexpr std::uint8_t kStringType = 3;
constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::vector<StoredString> ParseStrings(std::span<const std::uint8_t, kStringRegionSize> region) {
  const std::span<const std::uint8_t> area = region.subspan(kStringTableEntries);
  std::vector<StoredString> strings;
  for (std::size_t k = 0; k < kStringTableEntries; ++k) {
    const std::uint8_t entry = region[k];
    if (entry == 0x00 || entry == 0xFF) continue;
    const std::size_t length = area[entry];
    if (length < 2 || entry + length > area.size() || area[entry + 1u] != kStringType) continue;
    // An odd length's last byte is half a character: it is not shown.
    strings.push_back({k, entry, static_cast<std::uint8_t>(length),
                       FromUtf16Le(area.subspan(entry + 2u, (length - 2) & ~std::size_t{1}))});
  }
  return strings;
}

std::size_t NextStringOffset(std::span<const StoredString> strings) {
  std::size_t next = kFirstStringOffset;
  for (const StoredString& string : strings)
    next = std::max<std::size_t>(next, string.offset + string.length);
  return next;
}

std::optional<std::u16string> ToUtf16(std::string_view text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    // How many continuation bytes the lead byte announces.
    const int extra = lead < 0x80            ? 0
                      : (lead >> 5) == 0x06 ? 1
                      : (lead >> 4) == 0x0E ? 2
                      : (lead >> 3) == 0x1E ? 3
                                            : -1;
    if (extra < 0 || i + static_cast<std::size_t>(extra) >= text.size()) return std::nullopt;
    char32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
      if ((next & 0xC0) != 0x80) return std::nullopt;
      c = (c << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (c < kLeast[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += 1 + static_cast<std::size_t>(extra);
  }
  return out;
}

std::vector<std::uint8_t> EncodeStringDescriptor(const std::u16string& text) {
  std::vector<std::uint8_t> descriptor{static_cast<std::uint8_t>(2 + 2 * text.size()), kStringType};
  for (char16_t unit : text) {
    descriptor.push_back(static_cast<std::uint8_t>(unit));
    descriptor.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return descriptor;
}

std::string FromUtf16Le(std::span<const std::uint8_t> bytes) {
  std::string out;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    char32_t c = static_cast<char32_t>(bytes[i] | bytes[i + 1] << 8);
    if (c >= 0xD800 && c <= 0xDBFF && i + 3 < bytes.size()) {
      const char32_t low = static_cast<char32_t>(bytes[i + 2] | bytes[i + 3] << 8);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    if (c >= 0xD800 && c <= 0xDFFF) c = kReplacement;
    AppendUtf8(out, c);
  }
  return out;
}

StringRegion DefaultStringRegion() {
  StringRegion region;
  region.fill(0xFF);
  const std::uint8_t table[] = {0x00, 0x04, 0x12, 0x2C};
  std::copy(std::begin(table), std::end(table), region.begin());
  std::uint8_t* area = region.data() + kStringTableEntries;
  const std::uint8_t language[] = {0x04, kStringType, 0x09, 0x04};
  std::copy(std::begin(language), std::end(language), area);
  std::size_t at = kFirstStringOffset;
  for (std::string_view text : {"Torvek", "802.11n WLAN", "1.0"}) {
    const std::vector<std::uint8_t> descriptor = EncodeStringDescriptor(*ToUtf16(text));
    std::copy(descriptor.begin(), descriptor.end(), area + at);
    at += descriptor.size();
  }
  return region;
}

}  // namespace kqa::nvm
