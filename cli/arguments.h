#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace kqa::cli {

// Checks of a command's words, run while the line is read: a typo ends the
// run before anything reaches the chip, with a message that names the
// argument ("VALUE must be hexadecimal ...").
//
// The number validators are transforms: they turn the word into its decimal
// value, so the option binds straight to a number:
//   command.add_option("ADDR", args->address)->required()->transform(HexNumber());

// Hexadecimal digits ("0x" allowed) of a number not above `max`; `range`
// says what is allowed when there is a limit ("00 to FF").
CLI::Validator HexNumber(std::uint32_t max = 0xFFFFFFFF, const std::string& range = "");
// A decimal number from `min` to `max`.
CLI::Validator DecimalNumber(std::uint32_t max, std::uint32_t min = 0);
// Pairs of hexadecimal digits, at least one pair ("001122").
CLI::Validator HexBytes();
// A value that is not empty ("--state ''" names no file).
CLI::Validator NotEmpty();
// One of `choices`, spelt exactly.
CLI::Validator OneOf(std::vector<std::string> choices);

// Why `path` could not be written (a folder, a missing folder, no write
// permission), checked while the line is read so that a typo loses no
// capture; empty when it can be.
std::string UnwritableProblem(const std::string& path);
// The same as a validator of an output file's option.
CLI::Validator WritableFile();

// The usual arguments, required and typed in one call:
//   AddHexArgument(command, "ADDR", args->address, "the register's address");
CLI::Option* AddHexArgument(CLI::App& command, const std::string& name, std::uint32_t& into,
                            const std::string& description);
CLI::Option* AddDecimalArgument(CLI::App& command, const std::string& name, std::uint32_t& into,
                                std::uint32_t max, const std::string& description, std::uint32_t min = 0);
CLI::Option* AddHexBytesArgument(CLI::App& command, const std::string& name, std::string& into,
                                 const std::string& description);

}  // namespace kqa::cli
