#include "cli/command_table.h"

#include <CLI/CLI.hpp>

namespace kqa::cli {

CLI::App& CommandTable::Group(CLI::App& parent, const std::string& name,
                              const std::string& description) {
  // A family may add commands to a group another family made.
  for (CLI::App* existing : parent.get_subcommands([](const CLI::App*) { return true; }))
    if (existing->get_name() == name) return *existing;
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
  // A command may have commands of its own ("nvm mac" and "nvm mac set"):
  // they are added after it, so the last one parsed is the one named.
  const CommandAction* chosen = nullptr;
  for (const auto& [command, action] : commands_)
    if (command->parsed()) chosen = &action;
  return chosen;
}

}  // namespace kqa::cli
