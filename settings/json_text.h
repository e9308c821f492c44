// Texts in the JSON the droplet's tools print: the request host's document
// and droplet-maker's --show.
#pragma once

#include <cstddef>
#include <string>

// Appends UTF-16 units as a JSON string: UTF-8, with " and \ escaped, and
// control characters and surrogate halves without a partner as \uXXXX.
void AppendJsonText(std::string& out, const char16_t* units, size_t count);
