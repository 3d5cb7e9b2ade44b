// ioctl: one raw control code.
#include <algorithm>
#include <memory>
#include <vector>

#include <CLI/CLI.hpp>

#include "app/device/connection.h"
#include "app/device/error_names.h"
#include "app/device/text_format.h"
#include "app/device/text_parsing.h"
#include "cli/arguments.h"
#include "cli/cli_output.h"
#include "cli/command_table.h"
#include "cli/lasting_activity.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::cli {
namespace {

using device::Format;

constexpr std::uint32_t kMaxIoctlOutput = 16u << 20;

struct IoctlArguments {
  std::uint32_t code = 0;
  std::string input;
  std::uint32_t outLength = 0;
};

int Ioctl(CommandRun& run, const IoctlArguments& args) {
  std::vector<std::uint8_t> input(args.input.size() / 2);
  device::HexToBytes(input, args.input);  // checked when the line was read
  std::vector<std::uint8_t> output(args.outLength);
  std::uint32_t count = 0;
  const device::CallResult result =
      device::CallDeviceCount(run.device(), args.code, input, output, count);
  const std::span<const std::uint8_t> returned(
      output.data(), std::min<std::size_t>(result.bytesReturned, output.size()));
  const char* code = ioctl::ControlCodeNameOf(args.code);
  const std::string_view error = device::Win32ErrorName(result.error);
  if (run.json()) {
    run.out() << JsonLine(run.withDevice({{"code", args.code},
                                          {"codeName", code ? code : ""},
                                          {"error", result.error},
                                          {"errorName", error},
                                          {"bytes", result.bytesReturned},
                                          {"output", HexString(returned)}}));
  } else {
    run.out() << Format("code 0x%06X %s: error=%u%s%.*s%s bytes=%u\n", args.code,
                        code ? code : "(not a code the driver serves)", result.error,
                        error.empty() ? "" : " (", static_cast<int>(error.size()), error.data(),
                        error.empty() ? "" : ")", result.bytesReturned)
              << HexDump(0, returned);
  }
  if (const LastingActivity* activity = ActivityStartedBy(args.code);
      activity && result.error == ERROR_SUCCESS && run.session().driverInProcess)
    run.err() << "kestrelqa-cli: " << EndsWithProcessNote(*activity) << '\n';
  return result.error == ERROR_SUCCESS ? kExitOk : kExitFailed;
}

}  // namespace

void AddIoctlCommand(CLI::App& program, CommandTable& table) {
  auto args = std::make_shared<IoctlArguments>();
  CLI::App& ioctl = table.add(program, "ioctl", "sends one raw control code",
                              [args](CommandRun& run) { return Ioctl(run, *args); });
  AddHexArgument(ioctl, "CODE", args->code, "the control code");
  ioctl.add_option("INPUT_HEX", args->input, "the input bytes")->type_name("HEX")->check(HexBytes());
  ioctl.add_option("--out", args->outLength, "output bytes to ask for (default 0)")
      ->type_name("N")
      ->transform(DecimalNumber(kMaxIoctlOutput));
}

}  // namespace kqa::cli
