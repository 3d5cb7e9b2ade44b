#pragma once

#include "app/shell/page_services.h"
#include "app/shell/views/page/property_page.h"

// The measurement pages the command line adds: f adds Noise Level and FFT
// Graph, p the PAPD Test page, i the IQ Cal page.

class CNoiseLevelPage : public kqa::PropertyPage {
  Q_OBJECT

 public:
  explicit CNoiseLevelPage(kqa::shell::PageServices& services, QWidget* parent = nullptr);
};

class CFftGraphPage : public kqa::PropertyPage {
  Q_OBJECT

 public:
  explicit CFftGraphPage(kqa::shell::PageServices& services, QWidget* parent = nullptr);
};

class CPAPDTESTPage : public kqa::PropertyPage {
  Q_OBJECT

 public:
  explicit CPAPDTESTPage(kqa::shell::PageServices& services, QWidget* parent = nullptr);
};

class CIQCalibrationPage : public kqa::PropertyPage {
  Q_OBJECT

 public:
  explicit CIQCalibrationPage(kqa::shell::PageServices& services, QWidget* parent = nullptr);
};
