#pragma once

#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "app/device/device_context.h"
#include "app/shell/page/log_sink.h"
#include "app/shell/page/outcome.h"
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
// gave it. Blank lines are skipped (they never repeat the last command).
//
// Nothing wrong is ever sent: a line is skipped with an "Error:\tline N
// skipped: ..." entry when a field is not a number in its radix (a typo such
// as "12G4"), when a field it needs was never given ("MAC 1"), when a number
// is negative or out of range (MAC and SYS addresses 0x0000-0xFFFF, BBP
// registers 0-255, RF banks 0-15 and registers 0-63), and when the line is
// longer than 254 characters (so no text is lost unseen). Values wider than
// the register are cut to it (8 bits for BBP and RF), as always.
//
// A failed access gets an "Error:\tline N: ..." entry of its own instead of
// a value; a device that is gone (error 1167) ends the script with
// "Error:\tline N: device not connected (1167)".
enum class ScriptDialect { Keyword, Bbp, Rf };

// The longest line a script may hold, line feed not counted, and the
// largest script file (a few thousand lines of the longest kind).
inline constexpr std::size_t kScriptLineLimit = 254;
inline constexpr std::size_t kScriptFileLimit = 1 << 20;

// What a run did, for a closing line (the pages show only the log).
struct ScriptSummary {
  int commands = 0;       // register accesses and waits carried out
  int failed = 0;         // accesses that failed (the last one when the device went), each with its "Error:" entry
  int skipped = 0;        // lines refused before they ran, each with its "Error:" entry
  int unmatched = 0;      // lines whose first word is no keyword (skipped silently)
  int stoppedAtLine = 0;  // where the device was found gone; 0: the script ran to its end

  bool clean() const { return failed == 0 && skipped == 0; }
};

// The page's list of log entries (its list box). Each entry ends with "\n";
// the page shows it as the next row and selects it.
using ScriptLog = page::LogSink;

// The open-file dialog of a dialect: its title and filter, "txt" as the
// default extension, opening in the program's folder.
FileDialogOptions ScriptFileDialog(ScriptDialect dialect);

// Runs every line of `script` in order, each access finished before the next
// line is read; WAIT sleeps on the context's clock after logging.
ScriptSummary RunRegisterScript(ScriptDialect dialect, std::istream& script,
                                device::DeviceContext& device, ScriptLog& log);

// A script file's run: whether it ran, and if not why.
struct ScriptFileRun {
  bool ran = false;
  bool unreadable = false;  // it could not be opened at all
  std::string problem;      // why it did not run, naming the file
  ScriptSummary summary;
};

// Reads `path`, clears the log and runs it. A UTF-8 byte-order mark is
// skipped. Nothing is run or logged when the file cannot be opened, is a
// folder or a device, is larger than kScriptFileLimit, or is not text (a
// zero byte or another control character than tab, line and page breaks,
// or UTF-16); `problem` then says which.
ScriptFileRun RunRegisterScriptFile(ScriptDialect dialect, const std::string& path,
                                    device::DeviceContext& device, ScriptLog& log);

// The pages' script buttons: asks for the file through the context's prompt,
// then runs it. Cancelled when the dialog was cancelled; Failed when the file
// did not run (one that cannot be opened is passed over without a word, one
// that is not a script is named through the prompt) or a line failed or was
// skipped (each has its "Error:" entry in the log); Done otherwise.
page::Outcome ChooseAndRunRegisterScript(ScriptDialect dialect, device::DeviceContext& device,
                                         ScriptLog& log);

// The MAC page's "?" example, one entry a line ("Example :\n", "BBP 0 12\n",
// ...), and the button that lists it.
std::vector<std::string> RegisterScriptExample();
void ShowRegisterScriptExample(ScriptLog& log);

}  // namespace kqa
