#include "app/txrx/firmware_image_file.h"

#include <fstream>
#include <iterator>
#include <sstream>

#include "app/device/text_format.h"
#include "app/device/text_parsing.h"
#include "platform/bytes/little_endian.h"

namespace kqa::txrx {

namespace fs = std::filesystem;
using device::Format;

bool ReadBoundedFile(const fs::path& path, std::size_t limit, std::vector<std::uint8_t>& bytes,
                     std::string& problem) {
  const std::string name = path.string();
  std::error_code error;
  if (!fs::is_regular_file(path, error)) {
    problem = fs::exists(path, error) ? Format("%s is not a regular file", name.c_str())
                                      : Format("%s does not exist", name.c_str());
    return false;
  }
  const auto size = fs::file_size(path, error);
  if (error) {
    problem = Format("%s cannot be read: %s", name.c_str(), error.message().c_str());
    return false;
  }
  if (size > limit) {
    problem = Format("%s holds %llu bytes, more than the %zu-byte buffer", name.c_str(),
                     static_cast<unsigned long long>(size), limit);
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  std::vector<std::uint8_t> read((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) {
    problem = Format("%s cannot be read", name.c_str());
    return false;
  }
  if (read.size() > limit) {  // it grew since it was measured
    problem = Format("%s holds more than the %zu-byte buffer", name.c_str(), limit);
    return false;
  }
  bytes = std::move(read);
  return true;
}

bool SplitFirmwareFile(std::span<const std::uint8_t> file, FirmwareParts& parts, std::string& problem) {
  if (file.size() < kFirmwareHeaderSize) {
    problem = Format("the firmware file holds %zu bytes, less than its %zu-byte header", file.size(),
                     kFirmwareHeaderSize);
    return false;
  }
  const std::uint64_t ilm = GetLe32(file, 0);
  const std::uint64_t dlm = GetLe32(file, 4);
  if (ilm < kVectorBlockSize) {
    problem = Format("the firmware file's ILM length %llu is shorter than the %zu-byte vector block",
                     static_cast<unsigned long long>(ilm), kVectorBlockSize);
    return false;
  }
  const std::uint64_t needed = kFirmwareHeaderSize + ilm + dlm;
  if (needed > file.size()) {
    problem = Format("the firmware file holds %zu bytes, but its header says %llu (ILM %llu, DLM %llu)",
                     file.size(), static_cast<unsigned long long>(needed),
                     static_cast<unsigned long long>(ilm), static_cast<unsigned long long>(dlm));
    return false;
  }
  const auto ilmBytes = file.subspan(kFirmwareHeaderSize, ilm);
  parts.vectorBlock.assign(ilmBytes.begin(), ilmBytes.begin() + kVectorBlockSize);
  parts.ilmBody.assign(ilmBytes.begin() + kVectorBlockSize, ilmBytes.end());
  const auto dlmBytes = file.subspan(kFirmwareHeaderSize + ilm, dlm);
  parts.dlm.assign(dlmBytes.begin(), dlmBytes.end());
  return true;
}

bool SplitHeaderlessImage(std::span<const std::uint8_t> file, FirmwareParts& parts, std::string& problem) {
  if (file.size() < kVectorBlockSize) {
    problem = Format("the image holds %zu bytes, less than the %zu-byte vector block", file.size(),
                     kVectorBlockSize);
    return false;
  }
  parts.vectorBlock.assign(file.begin(), file.begin() + kVectorBlockSize);
  parts.ilmBody.assign(file.begin() + kVectorBlockSize, file.end());
  parts.dlm.clear();
  return true;
}

bool ParseCommandWords(const std::string& text, std::vector<std::uint8_t>& packet, std::string& problem) {
  std::istringstream in(text);
  std::vector<std::uint8_t> bytes;
  std::string word;
  int number = 0;
  while (in >> word) {
    ++number;
    std::uint32_t value = 0;
    if (!device::ParseHexNumber(word, value)) {
      problem = Format("word %d of the command file, \"%s\", is not a 32-bit hexadecimal number", number,
                       word.c_str());
      return false;
    }
    if (bytes.size() + 4 > kCommandFileMaxBytes) {
      problem = Format("the command file holds more than %zu bytes of words", kCommandFileMaxBytes);
      return false;
    }
    bytes.resize(bytes.size() + 4);
    PutLe32(bytes, bytes.size() - 4, value);
  }
  if (bytes.empty()) {
    problem = "the command file holds no word";
    return false;
  }
  packet = std::move(bytes);
  return true;
}

std::vector<fs::path> DefaultFirmwareSearch() {
  std::vector<fs::path> places{fs::path(kFirmwareFileName)};
#ifdef KQA_FIRMWARE_INSTALL_DIR
  places.push_back(fs::path(KQA_FIRMWARE_INSTALL_DIR) / kFirmwareFileName);
#endif
#ifdef KQA_KESTREL_FIRMWARE
  places.push_back(fs::path(KQA_KESTREL_FIRMWARE));
#endif
  return places;
}

}  // namespace kqa::txrx
