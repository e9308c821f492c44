// The droplet's whole job after start-up: connect to the host, repair and
// list the dropped files, send the batch request.
#pragma once

#include <cstdint>

// Given the writable command line tail; the low 16 bits of the result are
// the error code (0: success), with its message in CurrentMessage.
int32_t RunDroplet(char* tail);
