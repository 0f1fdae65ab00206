// kv480t-config: configuration tool for the KV480T-R-2 data collector.
#include <QApplication>
#include <QByteArray>
#include <QCommandLineParser>
#include <QFont>

#include "main1/DemoMode.h"
#include "main1/Tmainform1.h"

namespace {

struct Options {
    QCommandLineOption demo{QStringLiteral("demo"),
                            QStringLiteral("Offer a simulated collector's port.")};
    QCommandLineOption port{QStringLiteral("port"),
                            QStringLiteral("Put PATH into the port list and select it."),
                            QStringLiteral("PATH")};
    QCommandLineOption history{
        QStringLiteral("history"),
        QStringLiteral("Keep the collector's history in FILE for this run (by default the one "
                       "the History dialog chose, else the user's own)."),
        QStringLiteral("FILE")};
    QCommandLineOption noHistory{QStringLiteral("no-history"),
                                 QStringLiteral("Keep no history for this run.")};
    void addTo(QCommandLineParser& parser) const {
        parser.setApplicationDescription(QStringLiteral("Configures a KV480T-R-2 data collector."));
        parser.addHelpOption();
        parser.addOption(demo);
        parser.addOption(port);
        parser.addOption(history);
        parser.addOption(noHistory);
    }
};

bool asksForHelp(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "-h" || arg == "--help" || arg == "--help-all" || arg == "-?") return true;
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    const Options options;
    if (asksForHelp(argc, argv)) {
        // Help needs no display: answer it before the GUI application starts.
        QCoreApplication core(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("kv480t-config"));
        QCommandLineParser parser;
        options.addTo(parser);
        parser.process(core);  // prints the help and exits
    }

    QApplication app(argc, argv);
    // Where the remembered settings live (QSettings' usual place for this organisation/program).
    QApplication::setOrganizationName(QStringLiteral("KV480T"));
    QApplication::setApplicationName(QStringLiteral("kv480t-config"));
    QApplication::setFont(QFont(QStringLiteral("MS Sans Serif"), 8));

    QCommandLineParser parser;
    options.addTo(parser);
    parser.process(app);

    WindowHistory::Choice history;
    if (parser.isSet(options.noHistory)) {
        history.kind = WindowHistory::Choice::Kind::Off;
    } else if (parser.isSet(options.history)) {
        history.kind = WindowHistory::Choice::Kind::File;
        history.file = parser.value(options.history);
    }
    Tmainform1 mainform1(nullptr, history);
    if (parser.isSet(options.port)) mainform1.addPort(parser.value(options.port), true);
    if (parser.isSet(options.demo)) kvmain::startDemoCollector(mainform1);
    mainform1.show();
    return app.exec();
}
