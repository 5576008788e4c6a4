// What the removal of the application folder came to, in rising precedence.
#pragma once

enum RemovalOutcome { AllRemoved = 0, RebootRequired = 1, Retained = 2 };
