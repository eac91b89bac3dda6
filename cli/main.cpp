// camfleet-cli: drives the camfleet core from the command line, for scripting and tests.

#include <QCoreApplication>

#include <cstdio>

#include "cli/command.h"
#include "resources/program_version.h"

namespace camfleet::cli {

std::map<QString, CommandEntry>& CommandTable() {
    static std::map<QString, CommandEntry> table;
    return table;
}

namespace {

const CommandRegistration versionCommand("version", "version", "print the program version",
                                         [](const QStringList&) {
                                             std::printf("camfleet-cli %s\n",
                                                         qPrintable(VersionText()));
                                             return 0;
                                         });

int Usage() {
    std::fprintf(stderr, "usage: camfleet-cli COMMAND [options]\n\ncommands:\n");
    for (const auto& [name, entry] : CommandTable())
        std::fprintf(stderr, "  %-50s %s\n", entry.usage, entry.summary);
    return 2;
}

}  // namespace
}  // namespace camfleet::cli

int main(int argc, char** argv) {
    using namespace camfleet::cli;
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || args.first() == QLatin1String("--help"))
        return Usage();
    const QString name = args.takeFirst();
    auto it = CommandTable().find(name);
    if (it == CommandTable().end()) {
        std::fprintf(stderr, "camfleet-cli: unknown command '%s'\n", qPrintable(name));
        return Usage();
    }
    return it->second.run(args);
}
