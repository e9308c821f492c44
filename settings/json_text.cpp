#include "settings/json_text.h"

#include <cstdint>
#include <cstdio>

#include "system/utf8.h"

void AppendJsonText(std::string& out, const char16_t* units, size_t count) {
  out += '"';
  char bytes[8];
  for (size_t i = 0; i < count; ++i) {
    uint32_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      out.append(bytes, PutUtf8(0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00), bytes));
      ++i;
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || (c >= 0xD800 && c <= 0xDFFF)) {
      // Control characters, and surrogates without a partner: the escape
      // holds them exactly and keeps the document valid UTF-8.
      std::snprintf(bytes, sizeof bytes, "\\u%04x", static_cast<unsigned>(c));
      out += bytes;
    } else {
      out.append(bytes, PutUtf8(c, bytes));
    }
  }
  out += '"';
}
