// A text made fit for one row of a terminal, rewritten in place: it must
// never wrap nor move the cursor, or the rewrite leaves rows behind.
#pragma once

#include <cstddef>
#include <string>

// text (UTF-8, possibly invalid, as a file name may be) cut to at most
// columns display columns. Wide East Asian characters and emoji count two
// columns. What a terminal would act on or hide is shown escaped instead:
// C0 controls and DEL as "\n", "\t", "\r" or "\x1B", C1 controls and the
// invisible format characters (bidirectional overrides, zero-width ones) as
// "\u0085", and each byte that is not part of valid UTF-8 as "\xFF". A
// character or escape that does not fit whole is left out with the rest.
std::string TerminalLine(const std::string& text, size_t columns);
