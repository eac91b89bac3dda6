// camfleet-cli: drives the camfleet core from the command line, for scripting and tests.

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <functional>
#include <map>

namespace {

using Command = std::function<int(const QStringList& args)>;

struct CommandEntry {
    const char* summary;
    Command run;
};

const std::map<QString, CommandEntry>& Commands() {
    static const std::map<QString, CommandEntry> commands = {
        {QStringLiteral("version"),
         {"print the program version",
          [](const QStringList&) {
              std::printf("camfleet-cli %s\n", CAMFLEET_VERSION);
              return 0;
          }}},
    };
    return commands;
}

int Usage() {
    std::fprintf(stderr, "usage: camfleet-cli COMMAND [options]\n\ncommands:\n");
    for (const auto& [name, entry] : Commands())
        std::fprintf(stderr, "  %-12s %s\n", qPrintable(name), entry.summary);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) return Usage();
    const QString name = args.takeFirst();
    auto it = Commands().find(name);
    if (it == Commands().end()) {
        std::fprintf(stderr, "camfleet-cli: unknown command '%s'\n", qPrintable(name));
        return Usage();
    }
    return it->second.run(args);
}
