// Removes the product's folder depth first, leaving for the next restart what cannot go at once.
#pragma once

#include <stdio.h>

#include "app/removal_outcome.h"

// Removes everything in folder, then folder itself; one log line per file and folder handled.
RemovalOutcome removeFolder(const char* folder, FILE* log);
