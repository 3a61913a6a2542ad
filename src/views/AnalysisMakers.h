#pragma once

#include "views/ChartSource.h"

// The charts and channel text of the analysis core, for the panel's windows.
ChartSource::Makers analysisMakers();
