// The COM host wrappers against a hand-made interface whose method table
// records which position was called with what: the positions and argument
// order the host's contract fixes, and what reaches the caller when a call
// leaves nothing behind.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "host/com_host.h"

namespace {

struct Call {
  int slot;
  std::vector<uintptr_t> args;
};

// A COM object: its first member is the method table.
struct FakeCom {
  void** table;
  std::vector<Call>* calls;
  void* leave;      // what out arguments receive
  int32_t result;   // what every call returns
};

FakeCom* The(void* self) { return static_cast<FakeCom*>(self); }
void Log(void* self, int slot, std::vector<uintptr_t> args) {
  The(self)->calls->push_back({slot, std::move(args)});
}

template <int Slot>
int32_t __stdcall Out1(void* self, void** out) {
  Log(self, Slot, {});
  *out = The(self)->leave;
  return The(self)->result;
}
int32_t __stdcall Query(void* self, const Guid* iid, void** out) {
  Log(self, 0, {iid->data1});
  *out = The(self)->leave;
  return The(self)->result;
}
int32_t __stdcall Play(void* self, uint32_t event, void* request, int32_t mode, void** result) {
  Log(self, 7, {event, reinterpret_cast<uintptr_t>(request), uintptr_t(mode),
                reinterpret_cast<uintptr_t>(*result)});
  *result = The(self)->leave;
  return The(self)->result;
}
int32_t __stdcall TypeId(void* self, HostString name, uint32_t* id) {
  Log(self, 9, {reinterpret_cast<uintptr_t>(name)});
  *id = 77;
  return The(self)->result;
}
template <int Slot>
int32_t __stdcall Two(void* self, uintptr_t a, uintptr_t b) {
  Log(self, Slot, {a, b});
  return The(self)->result;
}
template <int Slot>
int32_t __stdcall Three(void* self, uintptr_t a, uintptr_t b, uintptr_t c) {
  Log(self, Slot, {a, b, c});
  return The(self)->result;
}
template <int Slot>
int32_t __stdcall One(void* self, uintptr_t a) {
  Log(self, Slot, {a});
  return The(self)->result;
}

class ComHostTest : public ::testing::Test {
 protected:
  ComHostTest() {
    table_.assign(43, nullptr);  // an unexpected position crashes the test
    table_[0] = reinterpret_cast<void*>(&Query);
    table_[7] = reinterpret_cast<void*>(&Play);
    table_[9] = reinterpret_cast<void*>(&TypeId);
    table_[12] = reinterpret_cast<void*>(&Out1<12>);
    table_[13] = reinterpret_cast<void*>(&Out1<13>);
    table_[14] = reinterpret_cast<void*>(&Out1<14>);
    table_[21] = reinterpret_cast<void*>(&Two<21>);
    table_[22] = reinterpret_cast<void*>(&Two<22>);
    table_[23] = reinterpret_cast<void*>(&Two<23>);
    table_[25] = reinterpret_cast<void*>(&Two<25>);
    table_[27] = reinterpret_cast<void*>(&Three<27>);
    table_[31] = reinterpret_cast<void*>(&Three<31>);
    table_[34] = reinterpret_cast<void*>(&One<34>);
    table_[39] = reinterpret_cast<void*>(&Two<39>);
    table_[42] = reinterpret_cast<void*>(&Two<42>);
    object_ = {table_.data(), &calls_, &object_, 0};
  }

  HostApplication* Application() {
    HostApplication* application = nullptr;
    EXPECT_EQ(WrapComObject(&object_)->QueryInterface(kHostApplicationIid, &application), 0);
    calls_.clear();
    return application;
  }

  std::vector<void*> table_;
  std::vector<Call> calls_;
  FakeCom object_;
};

TEST_F(ComHostTest, CallsTheContractPositionsWithTheArgumentsInOrder) {
  HostApplication* application = Application();
  ASSERT_NE(application, nullptr);
  HostControl* control = nullptr;
  HostDescriptor* descriptor = nullptr;
  HostList* list = nullptr;
  EXPECT_EQ(application->MakeControlObject(&control), 0);
  EXPECT_EQ(application->MakeDescriptor(&descriptor), 0);
  EXPECT_EQ(application->MakeList(&list), 0);
  ASSERT_TRUE(control && descriptor && list);

  auto text = reinterpret_cast<HostString>(uintptr_t(0x1234));
  uint32_t id = 0;
  control->TypeIdOfString(text, &id);
  descriptor->SetTextItem(FourCC("txt "), text);
  descriptor->SetBooleanItem(FourCC("OvrO"), 1);
  descriptor->SetListItem(FourCC("File"), list);
  descriptor->SetObjectItem(5, 6, descriptor);
  descriptor->SetEnumItem(7, 8, 9);
  descriptor->SetPathItem(FourCC("T   "), text);
  descriptor->SetDataItem(FourCC("null"), nullptr);
  list->AddObjectItem(6, descriptor);
  list->AddPathItem(text);
  HostDescriptor* result = descriptor;
  control->PlayEvent(FourCC("BtcF"), descriptor, 2, &result);

  // Every wrapper hands the host its own pointer back (here: the fake).
  const auto self = reinterpret_cast<uintptr_t>(&object_);
  const auto t = reinterpret_cast<uintptr_t>(text);
  std::vector<std::pair<int, std::vector<uintptr_t>>> want = {
      {12, {}}, {13, {}}, {14, {}}, {9, {t}},
      {21, {FourCC("txt "), t}}, {23, {FourCC("OvrO"), 1}}, {25, {FourCC("File"), self}},
      {27, {5, 6, self}}, {31, {7, 8, 9}}, {39, {FourCC("T   "), t}}, {42, {FourCC("null"), 0}},
      {22, {6, self}}, {34, {t}}, {7, {FourCC("BtcF"), self, 2, self}}};
  ASSERT_EQ(calls_.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(calls_[i].slot, want[i].first) << "call " << i;
    EXPECT_EQ(calls_[i].args, want[i].second) << "call " << i;
  }
  EXPECT_EQ(id, 77u);
  EXPECT_EQ(result, descriptor);  // the host left the same descriptor: same wrapper
}

TEST_F(ComHostTest, OutArgumentsStayNullWhenTheHostLeavesNothing) {
  HostApplication* application = Application();
  ASSERT_NE(application, nullptr);
  HostDescriptor* descriptor = nullptr;
  application->MakeDescriptor(&descriptor);
  ASSERT_NE(descriptor, nullptr);
  HostControl* control = nullptr;
  application->MakeControlObject(&control);
  ASSERT_NE(control, nullptr);

  object_.leave = nullptr;
  object_.result = static_cast<int32_t>(0x8000FFFFu);
  HostList* list = reinterpret_cast<HostList*>(uintptr_t(1));
  EXPECT_EQ(application->MakeList(&list), object_.result);
  EXPECT_EQ(list, nullptr);
  object_.result = 0;
  HostDescriptor* made = descriptor;
  EXPECT_EQ(application->MakeDescriptor(&made), 0);  // success that left nothing
  EXPECT_EQ(made, nullptr);
  HostDescriptor* result = descriptor;
  control->PlayEvent(FourCC("BtcF"), descriptor, 2, &result);
  EXPECT_EQ(result, nullptr);
}

TEST_F(ComHostTest, QueryThatLeavesNothingIsAFailure) {
  HostObject* object = WrapComObject(&object_);
  HostApplication* application = nullptr;
  object_.leave = nullptr;
  object_.result = 0;
  EXPECT_EQ(object->QueryInterface(kHostApplicationIid, &application),
            static_cast<int32_t>(0x80004002u));
  EXPECT_EQ(application, nullptr);
  object_.result = static_cast<int32_t>(0x80004002u);
  EXPECT_EQ(object->QueryInterface(kHostApplicationIid, &application), object_.result);
  ASSERT_EQ(calls_.size(), 2u);
  EXPECT_EQ(calls_[0].args[0], kHostApplicationIid.data1);
  EXPECT_EQ(WrapComObject(nullptr), nullptr);
}

}  // namespace
