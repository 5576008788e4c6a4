// The cleanup run: one pass from the first question to the summary, ending in the process exit code.
#pragma once

#include <stdio.h>

#include "app/removal_outcome.h"

// Runs the whole cleanup and returns the exit code (0 to 4).
int runCleanup();

// False while the product's uninstall key can still be opened, true otherwise.
bool isProductUninstalled();

// Logs the outcome and the closing line, closes the log, then shows the summary for the outcome.
void finishRun(RemovalOutcome outcome, const char* folder, const char* logPath, FILE* log);
