// The one place that names CreateProcessA for the installer's own processes.
#include "deploy/process_start.h"

ProcessStarter g_startProcess = CreateProcessA;
