// kv480t's commands, one file each (commands/<name>.cpp), laid out as CLI11's own examples
// lay out subcommands: each adds itself to the app with an option struct of its own and its
// callback. The callback, run by app.parse(), puts the command's exit code (Text.h) in
// `exitCode`; main() returns it.
#pragma once

#include <CLI/CLI.hpp>

namespace kvcli {

void addPortsCommand(CLI::App& app, int& exitCode);
void addFindCommand(CLI::App& app, int& exitCode);
void addReadCommand(CLI::App& app, int& exitCode);
void addTestCommand(CLI::App& app, int& exitCode);
void addQueryCommand(CLI::App& app, int& exitCode);
void addResetCommand(CLI::App& app, int& exitCode);
void addSaveCommand(CLI::App& app, int& exitCode);
void addApplyCommand(CLI::App& app, int& exitCode);
void addVerifyCommand(CLI::App& app, int& exitCode);
void addSetCommand(CLI::App& app, int& exitCode);
void addCommissionCommand(CLI::App& app, int& exitCode);
void addNamesCommand(CLI::App& app, int& exitCode);
void addHistoryCommand(CLI::App& app, int& exitCode);
void addDiffCommand(CLI::App& app, int& exitCode);
void addRestoreCommand(CLI::App& app, int& exitCode);

}  // namespace kvcli
