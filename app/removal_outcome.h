// What the removal of the application folder came to, in rising precedence.
#pragma once

// LeftBehind: something stays that the user did not choose to keep, and a restart will not remove it.
enum RemovalOutcome { AllRemoved = 0, RebootRequired = 1, Retained = 2, LeftBehind = 3 };
