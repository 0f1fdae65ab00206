#include "main1/DemoMode.h"

#include <system_error>

#include "main1/Tmainform1.h"
#include "main1/adapters/StatusLine.h"
#ifdef KV_HAVE_DEMO_COLLECTOR
#include "sim/DemoCollector.h"
#endif

namespace kvmain {

bool startDemoCollector(Tmainform1& window) {
#ifdef KV_HAVE_DEMO_COLLECTOR
    try {
        const QString path = QString::fromStdString(kvsim::startDemoCollector());
        window.addPort(path, true, QStringLiteral("Simulated KV480T-R-2 collector (demo mode)"));
        window.statusLine().note(
            StatusLine::Source::Start,
            QStringLiteral("Demo mode: a simulated collector answers on %1. Press Open.")
                .arg(path));
        return true;
    } catch (const std::system_error& e) {
        window.statusLine().note(
            StatusLine::Source::Start,
            QStringLiteral("Demo mode failed: %1").arg(QString::fromLocal8Bit(e.what())));
        return false;
    }
#else
    window.statusLine().note(
        StatusLine::Source::Start,
        QStringLiteral("Demo mode is not built into this program (it was built without KV_DEMO)."));
    return false;
#endif
}

}  // namespace kvmain
