// Closes the product's main window, if it is open, before anything is deleted.
#pragma once

// True when a product window was found and has gone, false when none was open.
// Ends the process with exit code 1, after a stop message, when the window will not go.
bool closeRunningInstance();
