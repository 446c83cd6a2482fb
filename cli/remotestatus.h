#pragma once
// "/remote /status": what decides whether other computers can manage this one.
#include "ambcmd.h"

// Prints, read-only, the four settings and what each means. Returns 0.
int PrintRemoteStatus();
