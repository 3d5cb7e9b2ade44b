#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace kqa::txrx {

// The MCU firmware files the TX/RX bench downloads, checked whole before a
// byte is sent.
//
// "Kestrel.bin" (little-endian): u32 ILM length, u32 DLM length, 24 bytes
// the loader does not read, the ILM (its first 64 bytes are the vector
// block), the DLM. A headerless image is the vector block followed by the
// ILM body, without a DLM.
inline constexpr const char* kFirmwareFileName = "Kestrel.bin";
inline constexpr std::size_t kFirmwareBufferSize = 128'000;  // the whole file is read first
inline constexpr std::size_t kFirmwareHeaderSize = 32;
inline constexpr std::size_t kVectorBlockSize = 64;
inline constexpr std::size_t kFirmwareChunkSize = 1024;
inline constexpr std::size_t kCommandFileMaxBytes = 1500;  // "Send FwCmd": the packet's words

// A firmware image split the way the download sends it.
struct FirmwareParts {
  std::vector<std::uint8_t> vectorBlock;  // 64 bytes
  std::vector<std::uint8_t> ilmBody;      // the ILM after the vector block, to 64 onwards
  std::vector<std::uint8_t> dlm;          // to 0x80000 onwards; empty for a headerless image
};

// Reads a regular file of at most `limit` bytes. False, with the reason in
// `problem` (naming the file), for a missing or unreadable file, a folder or
// device, or a larger file.
bool ReadBoundedFile(const std::filesystem::path& path, std::size_t limit, std::vector<std::uint8_t>& bytes,
                     std::string& problem);

// Splits "Kestrel.bin". False with `problem` when the file is shorter than
// its header says, or its ILM is shorter than the vector block.
bool SplitFirmwareFile(std::span<const std::uint8_t> file, FirmwareParts& parts, std::string& problem);
// Splits a headerless image; false when it is shorter than the vector block.
bool SplitHeaderlessImage(std::span<const std::uint8_t> file, FirmwareParts& parts, std::string& problem);

// "Send FwCmd": hexadecimal words separated by blanks, each a 32-bit word of
// the packet (little-endian). False with `problem` for a word that is not
// hexadecimal or does not fit 32 bits, an empty file, or more than 1500
// bytes of words.
bool ParseCommandWords(const std::string& text, std::vector<std::uint8_t>& packet, std::string& problem);

// Where "Kestrel.bin" is looked for, in order: the working directory, the
// folder the project installs the image to, the image the build generated.
std::vector<std::filesystem::path> DefaultFirmwareSearch();

}  // namespace kqa::txrx
