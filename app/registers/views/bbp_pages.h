#pragma once

#include "app/shell/page_services.h"
#include "app/shell/views/page/property_page.h"

// "BBP Page 1" to "BBP Page 3": the baseband processor's registers.
class CBBPPage : public kqa::PropertyPage {
  Q_OBJECT

 public:
  explicit CBBPPage(kqa::shell::PageServices& services, QWidget* parent = nullptr);
};

class CBBPPage2 : public kqa::PropertyPage {
  Q_OBJECT

 public:
  explicit CBBPPage2(kqa::shell::PageServices& services, QWidget* parent = nullptr);
};

class CBBPPage3 : public kqa::PropertyPage {
  Q_OBJECT

 public:
  explicit CBBPPage3(kqa::shell::PageServices& services, QWidget* parent = nullptr);
};
