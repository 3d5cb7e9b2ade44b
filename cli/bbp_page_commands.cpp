// bbp dump, save, load, table, papd-write: the BBP pages' work, through
// their own logic (app/registers/bbp_register_tool.h).
#include <memory>

#include <CLI/CLI.hpp>

#include "app/device/text_format.h"
#include "app/registers/bbp_register_tool.h"
#include "cli/arguments.h"
#include "cli/command_table.h"
#include "cli/page_outcome.h"

namespace kqa::cli {
namespace {

using device::Format;
using registers::BbpPage;
using registers::BbpRegisterTool;
using registers::BbpTable;
using Outcome = page::Outcome;

struct BbpPageArguments {
  std::uint32_t page = 1;
  std::string table;
  std::string file;
};

int Dump(CommandRun& run, const BbpPageArguments& args) {
  BbpRegisterTool tool(run.configMemory(), static_cast<BbpPage>(args.page));
  const Outcome outcome = tool.readAll();
  std::string text;
  Json registers = Json::array();
  for (std::size_t i = 0; i < tool.registers().size(); ++i) {
    text += Format("R%d %02X\n", tool.registers()[i], tool.values()[i]);
    registers.push_back({{"register", tool.registers()[i]}, {"value", tool.values()[i]}});
  }
  return FinishAction(run, outcome, Format("reading BBP page %u", args.page), text,
                      {{"page", args.page}, {"registers", registers}});
}

int Save(CommandRun& run, const BbpPageArguments& args) {
  BbpRegisterTool tool(run.configMemory(), BbpPage::One);
  return FinishAction(run, tool.saveRegisterSet(args.file), "saving the BBP register set",
                      "Saved R0-R255 and 49 R195/R196 entries to " + args.file + "\n",
                      {{"file", args.file}, {"lines", 354}});
}

int Load(CommandRun& run, const BbpPageArguments& args) {
  BbpRegisterTool tool(run.configMemory(), BbpPage::One);
  const Outcome outcome = tool.loadRegisterSet(args.file);
  return FinishRegisterLoad(run, outcome, "loading the BBP register set",
                            {args.file, "BBP", tool.written(), tool.skipped()});
}

int Table(CommandRun& run, const BbpPageArguments& args) {
  const BbpTable table = args.table == "papd"  ? BbpTable::Papd
                         : args.table == "184" ? BbpTable::Gain
                                               : BbpTable::Filter;
  BbpRegisterTool tool(run.configMemory(), BbpPage::One);
  return FinishAction(
      run, tool.dumpTable(table, args.file), "dumping the " + args.table + " table",
      "Wrote the 256 entries of the " + args.table + " table to " + args.file + "\n",
      {{"table", args.table}, {"file", args.file}, {"entries", 256}});
}

int PapdWrite(CommandRun& run, const BbpPageArguments& args) {
  BbpRegisterTool tool(run.configMemory(), BbpPage::One);
  const Outcome outcome = tool.writePapdTable(args.file);
  std::string text = Format("Wrote %zu value(s) to the PAPD table", tool.written());
  if (tool.written() > registers::kBbpTableSize)
    text += Format(" (the index wrapped after 255: entries 0-%zu were written twice)",
                   tool.written() - registers::kBbpTableSize - 1);
  return FinishAction(run, outcome, "writing the PAPD table", text + "\n",
                      {{"file", args.file}, {"written", tool.written()}});
}

void AddFile(CLI::App& command, BbpPageArguments& args, const char* what) {
  command.add_option("FILE", args.file, what)->required()->type_name("FILE");
}

}  // namespace

void AddBbpPageCommands(CLI::App& program, CommandTable& table) {
  auto args = std::make_shared<BbpPageArguments>();
  CLI::App& bbp = *program.get_subcommand("bbp");

  CLI::App& dump = table.add(bbp, "dump", "a BBP page's registers, \"R%d %02X\" a line",
                             [args](CommandRun& run) { return Dump(run, *args); });
  dump.add_option("--page", args->page,
                  "1: R0-R111 (default), 2: R112-R136, 3: R137-R199 and R248-R250")
      ->type_name("N")
      ->check(OneOf({"1", "2", "3"}));

  AddFile(table.add(bbp, "save", "saves R0-R255 and the 49 R195/R196 entries (354 lines)",
                    [args](CommandRun& run) { return Save(run, *args); }),
          *args, "the register-set file to write");
  AddFile(table.add(bbp, "load", "writes a register-set file's registers in file order",
                    [args](CommandRun& run) { return Load(run, *args); }),
          *args, "the register-set file to read");

  CLI::App& dumpTable = table.add(bbp, "table", "dumps a table's 256 entries, \"0x%02X\" a line",
                                  [args](CommandRun& run) { return Table(run, *args); });
  dumpTable
      .add_option("TABLE", args->table,
                  "papd (R187/R188 with R4 = 0x10), 184 (R184/R185) or 195 (R195/R196)")
      ->required()
      ->type_name("TABLE")
      ->check(OneOf({"papd", "184", "195"}));
  AddFile(dumpTable, *args, "the file to write");

  AddFile(table.add(bbp, "papd-write",
                    "writes one value a line to the PAPD table, line i to entry i (mod 256)",
                    [args](CommandRun& run) { return PapdWrite(run, *args); }),
          *args, "the table file to read");
}

}  // namespace kqa::cli
