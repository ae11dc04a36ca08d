#pragma once
// The Linux host: what the Windows service framework does for the service, done the systemd
// way. With no switch the program runs the service in the foreground (what systemd starts as a
// Type=notify unit, or a person in a terminal) and reports readiness and stopping through
// sd_notify; signals are its control requests. INSTALL and UNINSTALL manage the systemd unit,
// ONCE runs the start lines and one exchange cycle. The log and the configuration file live in
// the folder of the executable.
#include "service/host.h"
