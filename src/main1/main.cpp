// kv480t-config: configuration tool for the KV480T-R-2 data collector.
#include <QApplication>
#include <QCommandLineParser>
#include <QFont>

#include "main1/DemoMode.h"
#include "main1/Tmainform1.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kv480t-config"));
    QApplication::setFont(QFont(QStringLiteral("MS Sans Serif"), 8));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Configures a KV480T-R-2 data collector."));
    parser.addHelpOption();
    const QCommandLineOption demo(QStringLiteral("demo"),
                                  QStringLiteral("Offer a simulated collector's port."));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Put PATH into the port list and select it."),
                                  QStringLiteral("PATH"));
    parser.addOption(demo);
    parser.addOption(port);
    parser.process(app);

    Tmainform1 mainform1;
    if (parser.isSet(port)) mainform1.addPort(parser.value(port), true);
    if (parser.isSet(demo)) kvmain::startDemoCollector(mainform1);
    mainform1.show();
    return app.exec();
}
