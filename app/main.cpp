// The program's entry point: the cleanup run, whose result is the process exit code.
#include "app/cleanup_run.h"
#include "platform/platform.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return runCleanup(); }
