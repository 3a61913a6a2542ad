#pragma once

#include "views/ChartSource.h"

// The charts and channel text of the analysis core, for the panel's windows;
// the lines of the songs they read go to `diagnostics`, which must outlive
// the makers.
ChartSource::Makers analysisMakers(DiagnosticSink& diagnostics);
