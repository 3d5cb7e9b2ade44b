#include "cli/command_table.h"

#include <CLI/CLI.hpp>

namespace kqa::cli {

CLI::App& CommandTable::Group(CLI::App& parent, const std::string& name,
                              const std::string& description) {
  CLI::App* group = parent.add_subcommand(name, description);
  group->require_subcommand(1);
  return *group;
}

CLI::App& CommandTable::add(CLI::App& parent, const std::string& name,
                            const std::string& description, CommandAction action) {
  CLI::App* command = parent.add_subcommand(name, description);
  commands_.emplace_back(command, std::move(action));
  return *command;
}

CLI::App& CommandTable::addDeviceless(CLI::App& parent, const std::string& name,
                                      const std::string& description, DevicelessAction action) {
  CLI::App* command = parent.add_subcommand(name, description);
  devicelessCommands_.emplace_back(command, std::move(action));
  return *command;
}

const DevicelessAction* CommandTable::chosenDeviceless() const {
  for (const auto& [command, action] : devicelessCommands_)
    if (command->parsed()) return &action;
  return nullptr;
}

const CommandAction* CommandTable::chosen() const {
  for (const auto& [command, action] : commands_)
    if (command->parsed()) return &action;
  return nullptr;
}

}  // namespace kqa::cli
