#pragma once

#include <QLineEdit>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>
#include <functional>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

#include "app/device/channel_state.h"
#include "app/device/config_memory_mode.h"
#include "app/device/device_context.h"
#include "app/shell/page_services.h"
#include "app/shell/sheet_layout.h"
#include "app/shell/views/page/page_host.h"
#include "app/shell/views/page/property_page.h"
#include "app/sniffer/sniffer_buffer.h"
#include "platform/prompt/scripted_prompt.h"

// The chip's headers stay out of Qt code (its air sources have a method
// named like Qt's "emit" keyword), so they are declared here only.
namespace kqa::chip {
class Kestrel;
struct KestrelOptions;
}  // namespace kqa::chip
namespace kqa::device::testing {
struct RigBed;
}

namespace kqa::testing {

// One page for a page test (Qt Test, offscreen), in the world the program
// gives it: the emulated Kestrel behind the in-process driver on virtual time,
// a device context, configuration-memory mode and channel state after the
// program's start-up, a capture buffer (taken when a capture first needs
// it), a ScriptedPrompt that answers its dialogs, and the page built from
// its row of the page table, shown and activated as the sheet would. The
// harness stands in for the sheet: the page's operations share its gate, and
// the events the page tells the others are recorded in told().
class PageHarness final : public PageHost {
 public:
  explicit PageHarness(shell::Page id);
  PageHarness(shell::Page id, const chip::KestrelOptions& options);
  ~PageHarness();

  // The page as its row built it; the test stops when it is not a `Page`.
  template <class Page>
  Page& page() const {
    auto* typed = dynamic_cast<Page*>(page_.get());
    if (typed == nullptr) qFatal("the page table does not build a %s here", typeid(Page).name());
    return *typed;
  }

  chip::Kestrel& chip();
  // Pulls the emulated chip or plugs it back in.
  void unplug();
  void replug();

  // Driving the page as a user does; the test stops when the control is missing.
  void click(const QString& caption) const;                // the button with this caption
  QLineEdit* field(const QString& name) const;             // the line edit with this object name
  void choose(const QString& comboName, int index) const;  // an entry, picked by hand
  // A path in a folder of the harness's own, removed with it.
  std::string file(const QString& name) const;

  const std::vector<page::PageEvent>& told() const { return told_; }
  // Answers the events the page tells as another page of the sheet would
  // (e.g. the TX/RX page tuning the chip on ChannelChanged); none by default.
  std::function<void(const page::PageEvent&)> answer;

  void passOn(const page::PageEvent& event, PropertyPage& from) override;
  OperationGate& gate() override { return gate_; }

 private:
  std::unique_ptr<device::testing::RigBed> bed_;

 public:
  ScriptedPrompt& prompt;
  device::DeviceContext& device;
  device::ConfigMemoryMode& memoryMode;
  device::ChannelState& channels;
  sniffer::SnifferBuffer snifferBuffer;

 private:
  shell::PageServices services_;
  OperationGate gate_;
  std::vector<page::PageEvent> told_;
  QTemporaryDir folder_;
  std::unique_ptr<PropertyPage> page_;
};

}  // namespace kqa::testing
