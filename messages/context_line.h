// The last line of the error box: what became of the files and the request.
#pragma once

#include <cstdint>

// The context line of a failure with this code: what became of the files
// (Tally, FilesChanged) and of the request (HostStage), and for a
// host that is not registered, that it seems not to be installed. Written
// into out (capacity bytes with the terminator), cut to fit.
void ContextLine(int32_t code, char* out, int capacity);
