#pragma once
// The Windows host: the service control manager drives the service. With no switch the process
// connects to the manager as the dispatcher of "QDZELVORANTService" and runs the main loop on
// the service thread; the control handler only queues the manager's codes, which the loop
// carries out once a turn, and every state change is reported with a wait hint of 5000 ms.
// INSTALL and UNINSTALL register and remove the service (own process, automatic start, normal
// error control, LocalSystem, the full path of this executable); their messages go to a message
// box and to the console when there is one. Failures of the host itself go to the application
// event log. ONCE and REPORT work as on Linux.
#include "service/host.h"
