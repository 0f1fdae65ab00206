// The window's Report...: the per-collector sheet of a commissioning report (kvsite's HTML)
// for the open port, saved as HTML or, when the name ends in ".pdf", as PDF drawn by Qt's own
// PDF writer from the same HTML. Either file is replaced whole or not at all.
//
// Qt builds without the PDF writer (the Windows cross build's Qt) save HTML only:
// pdfAvailable() says which.
#pragma once

#include <QString>

#include "site/Report.h"

bool pdfAvailable();
// "" when saved, else the reason in one line naming the file.
QString saveCollectorReport(const kvsite::Report& report, const QString& path);
