#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/usb/wire/usb_wire.h"

namespace kqa::usb {

// A pipe is named by its endpoint address; 0 means "no pipe".
using PipeHandle = std::uint8_t;

struct PortStatus {
  bool enabled = false;    // bit 0 of the hub's port status
  bool connected = false;  // bit 1
};

// One pipe of a selected interface, in the order the interface lists it.
struct PipeInformation {
  std::uint8_t endpointAddress = 0;  // bit 7 set for IN
  std::uint8_t pipeType = 0;         // kTransferBulk, kTransferInterrupt, ...
  std::uint16_t maximumPacketSize = 0;
  PipeHandle handle = 0;

  bool isIn() const { return (endpointAddress & kEndpointIn) != 0; }
};

struct SelectedConfiguration {
  std::uint8_t configurationValue = 0;  // the configuration handle
  std::vector<PipeInformation> pipes;
};

struct FrameInfo {
  std::uint32_t frameLength = 0;            // bit times per frame
  std::uint32_t frameNumber = 0;            // current frame number
  std::uint32_t frameNumberWithLength = 0;  // frame number the length was read in
};

struct BusInformation {
  std::uint32_t totalBandwidth = 0;     // kbit/s
  std::uint32_t consumedBandwidth = 0;  // kbit/s
  std::string controllerName;
};

// One attached USB device as the driver's lower device sees it: the default
// control pipe, bulk pipes, the hub port it sits on, and its configuration.
//
// Threads: control transfers and the synchronous requests are made at passive
// level by one caller at a time per purpose; bulk transfers may be submitted
// and cancelled from any thread, completion routines included.
//
// Lifetime: once the device has left (see UsbBackend), every request fails
// with NoDevice. Destroying the object cancels what is still in flight and
// returns only after every completion has run; owners should not rely on
// that and cancel and wait for their own transfers first.
class UsbDevice {
 public:
  using TransferId = std::uint64_t;
  // Called exactly once per transfer, with how it ended and the bytes moved.
  using Completion = std::function<void(TransferResult result)>;

  virtual ~UsbDevice() = default;

  // Where the device sits, e.g. "usb:1209:0001@1-4" or "emulated".
  virtual std::string location() const = 0;

  // A control transfer on the default pipe. For a device-to-host request the
  // first result.length bytes of `data` receive the data stage, and only when
  // the transfer succeeded; on failure `data` is left as it was. The back end
  // ends the transfer with Timeout once `timeout` has passed on its clock. The
  // completion runs exactly once: before this call returns when the back end
  // finished the transfer at once, otherwise later on the back end's event
  // thread. `data` must stay valid until then.
  virtual TransferId submitControl(const SetupPacket& setup, std::span<std::uint8_t> data,
                                   Clock::Duration timeout, Completion completion) = 0;

  // A bulk transfer on `pipe`. OUT sends all of `buffer`; IN receives up to
  // buffer.size() bytes. The completion runs exactly once, never inside this
  // call, on the back end's event thread (or inside an emulated device's
  // explicit test step); a transfer that cannot start completes there with
  // its error. `buffer` must stay valid until the completion has run.
  virtual TransferId submitBulk(PipeHandle pipe, std::span<std::uint8_t> buffer,
                                Completion completion) = 0;

  // Asks for a control or bulk transfer to end early; returns at once. The
  // completion still runs (with Cancelled unless the transfer finished
  // first). Unknown and finished ids are ignored.
  virtual void cancel(TransferId id) = 0;

  // Requests answered at once by the stack (the hub driver and the host
  // controller driver), called at passive level.
  virtual TransferStatus getPortStatus(PortStatus& status) = 0;
  virtual TransferStatus resetPort() = 0;
  // Selects the configuration with `configurationValue` and its interface
  // `interfaceNumber` (alternate setting `alternateSetting`); `pipes` lists
  // the interface's endpoints as the descriptor gives them and comes back
  // with their handles.
  virtual TransferStatus selectConfiguration(std::uint8_t configurationValue,
                                             std::uint8_t interfaceNumber,
                                             std::uint8_t alternateSetting,
                                             std::vector<PipeInformation>& pipes) = 0;
  // Releases the selected configuration (the device becomes unconfigured).
  virtual TransferStatus deconfigure() = 0;
  virtual TransferStatus getFrameInfo(FrameInfo& info) = 0;
  virtual TransferStatus getBusInformation(BusInformation& info) = 0;
};

}  // namespace kqa::usb
