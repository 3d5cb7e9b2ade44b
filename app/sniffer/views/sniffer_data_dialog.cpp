#include "app/sniffer/views/sniffer_data_dialog.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QVBoxLayout>

#include "app/widgets/views/hex_edit.h"

namespace {

// A hex view of `bytes` in a group box captioned `title`, at least `rows`
// rows high; with `grows` it takes the height the dialog gains.
CHexEdit* BoundView(QVBoxLayout* layout, const QString& title, const QString& name,
                    std::span<std::uint8_t> bytes, int rows, bool grows) {
  auto* group = new QGroupBox(title, layout->parentWidget());
  auto* inner = new QVBoxLayout(group);
  auto* view = new CHexEdit(group);
  view->setObjectName(name);
  view->setData(bytes.empty() ? nullptr : bytes.data(), bytes.size());
  const int height = rows * (view->fontMetrics().height() + 2) + 2 * view->frameWidth();
  if (grows)
    view->setMinimumHeight(height);
  else
    view->setFixedHeight(height);
  inner->addWidget(view);
  layout->addWidget(group, grows ? 1 : 0);
  return view;
}

}  // namespace

CSnifferDataDialog::CSnifferDataDialog(std::span<std::uint8_t> descriptor,
                                       std::span<std::uint8_t> frame, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(tr("Sniffer Data"));
  auto* layout = new QVBoxLayout(this);
  descriptor_ =
      BoundView(layout, tr("Descriptor"), QStringLiteral("descriptor"), descriptor, 4, false);
  buffer_ = BoundView(layout, tr("Buffer"), QStringLiteral("buffer"), frame, 12, true);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
}
