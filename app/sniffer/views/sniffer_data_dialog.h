#pragma once

#include <QDialog>
#include <cstdint>
#include <span>

class CHexEdit;

// "Sniffer Data": one captured frame's receive descriptor ("Descriptor") and
// its bytes ("Buffer") in two hex views bound to the stored record itself:
// what is typed there changes the record, nothing is copied.
class CSnifferDataDialog : public QDialog {
  Q_OBJECT

 public:
  CSnifferDataDialog(std::span<std::uint8_t> descriptor, std::span<std::uint8_t> frame,
                     QWidget* parent = nullptr);

  CHexEdit& descriptorView() const { return *descriptor_; }
  CHexEdit& bufferView() const { return *buffer_; }

 private:
  CHexEdit* descriptor_;
  CHexEdit* buffer_;
};
