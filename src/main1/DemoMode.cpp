#include "main1/DemoMode.h"

#include <QStatusBar>

#include "main1/Tmainform1.h"

namespace kvmain {

// The simulated collector is not linked into this build yet: say so instead of pretending.
bool startDemoCollector(Tmainform1& window) {
    window.statusBar()->showMessage(
        QStringLiteral("Demo mode is not available in this build: no simulated collector."));
    return false;
}

}  // namespace kvmain
