#pragma once

namespace mirabex::cli {

// Exit statuses of mirabex-cli, listed in --help.
inline constexpr int kExitOk = 0;             // the command did all it was asked to
inline constexpr int kExitFailed = 1;         // the work ran but did not complete
inline constexpr int kExitUsage = 2;          // unknown command, missing or unknown option
inline constexpr int kExitNoKeys = 3;         // the key pool could not be loaded
inline constexpr int kExitNoItems = 4;        // the item list file cannot be read or holds no item
inline constexpr int kExitCsvNotWritten = 5;  // the run completed but its CSV could not be written
inline constexpr int kExitInterrupted = 130;  // stopped with Ctrl+C; nothing was written

}  // namespace mirabex::cli
