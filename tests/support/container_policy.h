// The machine's container format policy (HKLM\Software\Kyvomar, value
// ContainerFormat, in the 64-bit view; the test prefix is 32-bit and has one
// view) set for as long as a test needs it. Whatever was there before comes
// back when the object goes: the key is removed again if the object made it.
// Tests that change the value take the ctest lock "container_policy".
#pragma once
#include <windows.h>

class ContainerPolicyValue {
 public:
  ContainerPolicyValue();
  ~ContainerPolicyValue();
  ContainerPolicyValue(const ContainerPolicyValue&) = delete;
  ContainerPolicyValue& operator=(const ContainerPolicyValue&) = delete;
  bool set(DWORD format);  // a REG_DWORD
  bool remove();           // no value at all

 private:
  bool keyExisted_ = false, valueExisted_ = false;
  DWORD type_ = 0, size_ = 0;
  BYTE value_[64] = {};
};
