// A host double that records every call it receives, with keys and
// identifiers by name, and can fail any call or leave its out argument empty.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/host_objects.h"

class RecordingHost : public HostObject, public HostApplication {
 public:
  RecordingHost();
  ~RecordingHost();

  // Calls in order, e.g. "D1.SetBooleanItem 'OvrO' 0", "C1.TypeIdOfString textKey",
  // "L1.AddPathItem C:\a.psd". Objects are named by kind and creation order:
  // C control, D descriptor, L list. String identifiers come back as small
  // integers and are written by name; other keys as 'four'.
  std::vector<std::string> calls;
  // The calls from the first that starts with prefix on (empty if none).
  std::vector<std::string> CallsFrom(const std::string& prefix) const;
  int Count(const std::string& operation) const;  // calls whose name is operation

  // The nth call (1-based) of operation, and the times - 1 calls after it,
  // return result; with leaveNothing the out argument stays null (or the
  // identifier unset) although result may be 0.
  void FailAt(const std::string& operation, int nth, int32_t result, bool leaveNothing = true,
              int times = 1);

  // Payload of the played request, written like the calls (one line per item,
  // nested items indented), for comparing the content as a whole.
  std::vector<std::string> playedRequest;
  int plays = 0;

  int32_t QueryInterface(const Guid& iid, HostApplication** application) override;
  int32_t MakeControlObject(HostControl** control) override;
  int32_t MakeDescriptor(HostDescriptor** descriptor) override;
  int32_t MakeList(HostList** list) override;

  class Control;
  class Descriptor;
  class List;

  // Shared by the host's objects.
  bool Enter(const std::string& operation, const std::string& call, int32_t* result,
             bool* leaveNothing);
  std::string Key(uint32_t key) const;
  static std::string Text(HostString text);
  uint32_t IdOf(const std::string& name);
  void Describe(const Descriptor& d, int depth, std::vector<std::string>* out) const;

  // One Make operation: records it, then makes and hands out a new object
  // named prefix + number unless a failure injected there leaves nothing.
  template <typename Object, typename Interface>
  int32_t Make(const char* operation, const char* prefix,
               std::vector<std::unique_ptr<Object>>& made, Interface** out);

 private:
  struct Injection {
    std::string operation;
    int nth;
    int32_t result;
    bool leaveNothing;
    int times;
  };
  std::vector<Injection> injections_;
  std::map<std::string, int> counts_;
  std::vector<std::string> names_;
  std::vector<std::unique_ptr<Control>> controls_;
  std::vector<std::unique_ptr<Descriptor>> descriptors_;
  std::vector<std::unique_ptr<List>> lists_;
};
