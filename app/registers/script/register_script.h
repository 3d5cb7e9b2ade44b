#pragma once

#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "app/device/device_context.h"
#include "app/shell/page/log_sink.h"
#include "platform/prompt/file_dialog.h"

namespace kqa {

// Register scripts: small text files that read and write registers line by
// line, in three dialects.
//
//  Keyword (MAC page, IQ calibration page), one command a line:
//    MAC rw addr [value]        32-bit register, "0x410000" window
//    SYS rw addr [value]        32-bit register, "0x400000" window
//    BBP rw reg [value]         8-bit BBP register
//    RF rw bank reg [value]     8-bit RF register of a bank
//    WAIT ms                    pause
//    ;...                       comment
//  rw 0 reads, anything else writes; keywords in any case; other first
//  words are skipped.
//  BBP (BBP page 1): rw reg [value].   RF (RF page): rw bank reg [value].
//
// reg, bank, rw and ms are decimal; addr and value hexadecimal ("0x"
// allowed). A field a line leaves out keeps the value of the last line that
// gave it. Blank lines are skipped (they never repeat the last command),
// and a field that is not a number in its radix (a typo such as "12G4")
// skips its line with an "Error:" entry rather than sending a wrong value.
enum class ScriptDialect { Keyword, Bbp, Rf };

// The page's list of log entries (its list box). Each entry ends with "\n";
// the page shows it as the next row and selects it.
using ScriptLog = page::LogSink;

// The open-file dialog of a dialect: its title and filter, "txt" as the
// default extension, opening in the program's folder.
FileDialogOptions ScriptFileDialog(ScriptDialect dialect);

// Runs every line of `script` in order, each access finished before the next
// line is read; WAIT sleeps on the context's clock after logging.
void RunRegisterScript(ScriptDialect dialect, std::istream& script, device::DeviceContext& device,
                       ScriptLog& log);

// Opens `path` (text), clears the log and runs it. False, with nothing run
// or logged, when the file cannot be opened.
bool RunRegisterScriptFile(ScriptDialect dialect, const std::string& path,
                           device::DeviceContext& device, ScriptLog& log);

// The pages' script buttons: asks for the file through the context's prompt,
// then runs it. False when the dialog was cancelled or the file could not be
// opened (nothing is run or shown then).
bool ChooseAndRunRegisterScript(ScriptDialect dialect, device::DeviceContext& device,
                                ScriptLog& log);

// The MAC page's "?" example, one entry a line ("Example :\n", "BBP 0 12\n",
// ...), and the button that lists it.
std::vector<std::string> RegisterScriptExample();
void ShowRegisterScriptExample(ScriptLog& log);

}  // namespace kqa
