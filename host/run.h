// The droplet's whole job after start-up: connect to the host, repair and
// list the dropped files, send the batch request.
#pragma once

#include <cstdint>

class HostList;

// The host's programmatic identifier is its name (the settings' hostName)
// followed by this.
inline constexpr char kIdentifierSuffix[] = ".Application.7";

// The walk of the file arguments (the driver's WalkFileArguments): repairs
// each file of the tail and adds its path to list; nonzero ends the run. A
// check walks with no list. Each file is counted in Tally (run_tally.h).
using WalkProc = int32_t (*)(char* tail, HostList* list);

// Given the writable command line tail and the walk to list its files with;
// the low 16 bits of the result are the error code (0: success), with its
// message in CurrentMessage; kRunCancelled when the user stopped it (no
// message, nothing sent). The progress it shows is gone when it returns.
int32_t RunDroplet(char* tail, WalkProc walk);
