#pragma once
// Sub-command registry of camfleet-cli. Each command lives in its own cmd_*.cpp file and
// registers itself with a static CommandRegistration.

#include <QStringList>

#include <functional>
#include <map>

namespace camfleet::cli {

// Runs one command with the arguments after its name; returns the process exit status
// (0 = success, 1 = the command failed, 2 = usage error). Errors go to stderr as one line.
using CommandFunction = std::function<int(const QStringList& args)>;

struct CommandEntry {
    const char* usage;    // e.g. "search [--lab N | --loopback] [--json]"
    const char* summary;  // one line
    CommandFunction run;
};

std::map<QString, CommandEntry>& CommandTable();

struct CommandRegistration {
    CommandRegistration(const char* name, const char* usage, const char* summary,
                        CommandFunction run) {
        CommandTable().emplace(QString::fromLatin1(name),
                               CommandEntry{usage, summary, std::move(run)});
    }
};

}  // namespace camfleet::cli
