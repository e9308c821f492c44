// The batch request as one JSON document (docs/request-json.md). Both the
// Linux request host and the Wine stand-in host write it with this code, so
// one set of expectations checks both.
//
// Hand-written rather than nlohmann-json: its strings must be valid UTF-8,
// so a surrogate without a partner (a byte of a Linux name that is not
// UTF-8) could only be refused, dropped or turned into U+FFFD, naming
// another file; and it writes some controls as \n, \t, where our documents
// have always had \u000a, \u0009.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One item of a descriptor or of a list, as the host received it.
struct RequestItem {
  enum Kind { kText, kBoolean, kList, kObject, kEnum, kPath, kData } kind = kText;
  uint32_t key = 0;                                 // descriptor items only
  uint32_t type = 0;                                // class of an object, type of an enumeration
  uint32_t value = 0;                               // boolean, enumeration value
  bool absent = false;                              // a null text, path or data
  std::u16string text;                              // text, path
  std::string bytes;                                // data
  const std::vector<RequestItem>* items = nullptr;  // a list's or an object's, held by the host

  static RequestItem Of(Kind kind, uint32_t key, uint32_t type = 0, uint32_t value = 0,
                        const std::vector<RequestItem>* items = nullptr);
  // A text, path or data item from a counted string of byteLength bytes,
  // copied as a host in another process receives it; null: absent.
  static RequestItem Received(Kind kind, uint32_t key, const char16_t* text, size_t byteLength);
};

// The name a string identifier was looked up under; null for a four-character code.
using RequestNameOf = std::function<const std::u16string*(uint32_t id)>;

// {"event":...,"dialogMode":...,"typeIdLookups":...,"items":[...]}, with no
// line end; null items give "items":null. Keys are passed by their
// descriptor, lists and objects by the items they hold now.
std::string RequestJson(uint32_t event, int32_t dialogMode, long typeIdLookups,
                        const std::vector<RequestItem>* items, const RequestNameOf& nameOf);
