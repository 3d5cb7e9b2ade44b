#pragma once

#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "app/shell/page_services.h"
#include "app/shell/sheet_layout.h"

namespace kqa {
class PropertyPage;
}

namespace kqa::shell {

// Whether the presence check freezes a page when the device goes.
enum class Presence { Governed, Free };

// One page of the sheet. The sheet, its tabs, their captions and the pages
// the presence check freezes all come from the rows of one table.
struct PageRow {
  Page id;
  std::string_view caption;  // the tab text
  Presence presence;
  // The command-line letter that adds the page ('f', 'p', 'i'), 0 for a page
  // always shown, '-' for one constructed but never shown.
  char letter;
  std::unique_ptr<PropertyPage> (*make)(PageServices& services);
};

// Every page in tab order.
std::span<const PageRow> PageTable();

// The row of `id`, or null when `table` has none.
const PageRow* FindPage(std::span<const PageRow> table, Page id);

// Whether the row is a tab with these command-line options.
bool IsShown(const PageRow& row, const PageFlags& flags);

// The tabs, left to right: 13 without options, 17 with all.
std::vector<Page> SheetTabs(const PageFlags& flags, std::span<const PageRow> table = PageTable());

// Builds the row's page, captioned.
std::unique_ptr<PropertyPage> MakePage(const PageRow& row, PageServices& services);

}  // namespace kqa::shell
