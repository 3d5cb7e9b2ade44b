// Writes the emulated Kestrel's firmware file:
//   kqa_make_kestrel_firmware <path/to/Kestrel.bin>
#include <cstdio>
#include <fstream>

#include "chip/firmware/firmware_image.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output file>\n", argv[0]);
    return 2;
  }
  const auto bytes = kqa::chip::EncodeFirmwareFile(kqa::chip::BuildKestrelFirmware());
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
    return 1;
  }
  return 0;
}
