// droplet-maker: writes a new droplet program, a copy of a built droplet
// with the batch options stamped into its settings block; --show reads a
// droplet's settings back as JSON.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// Runs the maker on its arguments (UTF-8, without the program name).
// `self` is the folder the droplet is looked for in when --from is not
// given. Returns the exit value: 0 done, 2 bad input (one line on err, no
// file written), 1 the output could not be written.
int MakerMain(const std::vector<std::string>& args, const std::string& self, FILE* out, FILE* err);
