// Structured exceptions raised inside a guarded call end the call, not the
// process; exceptions the called code handles itself stay its own.
#include "manager/encryption/guarded_call.h"

#include <gtest/gtest.h>
#include <windows.h>

// The guard is the 32-bit program's: the 64-bit test build calls plainly.
#if defined(__i386__)

namespace {

volatile ULONG_PTR unmappedAddress = 16;

void accessViolation(void*) { *reinterpret_cast<volatile int*>(unmappedAddress) = 1; }
void readViolation(void* out) { *static_cast<int*>(out) = *reinterpret_cast<volatile int*>(unmappedAddress); }
void raiseOwnCode(void*) { RaiseException(0xE0C0FFEE, 0, 0, nullptr); }
void count(void* counter) { ++*static_cast<int*>(counter); }

// The head of this thread's exception registration list (fs:[0]).
void* exceptionList() {
  void* head;
  __asm__ __volatile__("movl %%fs:0, %0" : "=r"(head) : : "memory");
  return head;
}
void setExceptionList(void* record) { __asm__ __volatile__("movl %0, %%fs:0" : : "r"(record) : "memory"); }

TEST(GuardedCall, NormalReturnGivesZero) {
  void* before = exceptionList();
  int counter = 0;
  unsigned long code = 77;
  EXPECT_EQ(callGuarded(count, &counter, &code), 0);
  EXPECT_EQ(counter, 1);
  EXPECT_EQ(code, 77u);  // untouched
  EXPECT_EQ(exceptionList(), before);
}

TEST(GuardedCall, AccessViolationEndsTheCallAgainAndAgain) {
  void* before = exceptionList();
  for (int i = 0; i < 3; ++i) {
    unsigned long code = 0;
    EXPECT_EQ(callGuarded(accessViolation, nullptr, &code), 1);
    EXPECT_EQ(code, static_cast<unsigned long>(EXCEPTION_ACCESS_VIOLATION));
    int value = 0;
    EXPECT_EQ(callGuarded(readViolation, &value), 1);
    EXPECT_EQ(exceptionList(), before);
  }
}

TEST(GuardedCall, RaisedExceptionCarriesItsCode) {
  unsigned long code = 0;
  EXPECT_EQ(callGuarded(raiseOwnCode, nullptr, &code), 1);
  EXPECT_EQ(code, 0xE0C0FFEEu);
}

void nestedFault(void* innerResult) { *static_cast<int*>(innerResult) = callGuarded(accessViolation, nullptr); }

TEST(GuardedCall, ExceptionHandledInsideDoesNotReachTheOuterCall) {
  int inner = -1;
  EXPECT_EQ(callGuarded(nestedFault, &inner), 0);
  EXPECT_EQ(inner, 1);
}

// A record of the called code's own, which only watches: it declines the
// exception and notes the unwind that passes through it.
int unwindsSeen = 0;
int exceptionsSeen = 0;
extern "C" EXCEPTION_DISPOSITION __cdecl watchingHandler(EXCEPTION_RECORD* record, void*, CONTEXT*, void*) {
  if (record->ExceptionFlags & EXCEPTION_UNWINDING)
    ++unwindsSeen;
  else
    ++exceptionsSeen;
  return ExceptionContinueSearch;
}

void faultUnderOwnRecord(void*) {
  struct {
    void* next;
    void* handler;
  } record = {exceptionList(), reinterpret_cast<void*>(watchingHandler)};
  setExceptionList(&record);
  accessViolation(nullptr);
  setExceptionList(record.next);
}

TEST(GuardedCall, InnerRecordsSeeTheExceptionFirstAndAreUnwound) {
  void* before = exceptionList();
  unwindsSeen = exceptionsSeen = 0;
  EXPECT_EQ(callGuarded(faultUnderOwnRecord, nullptr), 1);
  EXPECT_EQ(exceptionsSeen, 1);
  EXPECT_EQ(unwindsSeen, 1);
  EXPECT_EQ(exceptionList(), before);
}

TEST(GuardedCall, CallerRegistersSurviveAFault) {
  // ebx, esi, edi and ebp hold marks across a faulting call.
  unsigned marks[4] = {};
  __asm__ __volatile__(
      "pushl %%ebp\n\t"
      "pushl %%ebx\n\t"
      "pushl %%esi\n\t"
      "pushl %%edi\n\t"
      "pushl %%eax\n\t"
      "movl $0x11111111, %%ebx\n\t"
      "movl $0x22222222, %%esi\n\t"
      "movl $0x33333333, %%edi\n\t"
      "movl $0x44444444, %%ebp\n\t"
      "pushl $0\n\t"
      "pushl $0\n\t"
      "pushl %%edx\n\t"
      "call *%%ecx\n\t"
      "addl $12, %%esp\n\t"
      "popl %%eax\n\t"
      "movl %%ebx, 0(%%eax)\n\t"
      "movl %%esi, 4(%%eax)\n\t"
      "movl %%edi, 8(%%eax)\n\t"
      "movl %%ebp, 12(%%eax)\n\t"
      "popl %%edi\n\t"
      "popl %%esi\n\t"
      "popl %%ebx\n\t"
      "popl %%ebp\n\t"
      :
      : "a"(marks), "c"(&callGuarded), "d"(&accessViolation)
      : "memory", "cc");
  EXPECT_EQ(marks[0], 0x11111111u);
  EXPECT_EQ(marks[1], 0x22222222u);
  EXPECT_EQ(marks[2], 0x33333333u);
  EXPECT_EQ(marks[3], 0x44444444u);
}

DWORD WINAPI faultOnThread(void* result) {
  unsigned long code = 0;
  *static_cast<int*>(result) = callGuarded(accessViolation, nullptr, &code) * 10 + (code == EXCEPTION_ACCESS_VIOLATION);
  return 0;
}

TEST(GuardedCall, WorksOnAWorkerThread) {
  int result = 0;
  HANDLE thread = CreateThread(nullptr, 0, faultOnThread, &result, 0, nullptr);
  ASSERT_TRUE(thread);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  EXPECT_EQ(result, 11);
}

}  // namespace

#endif
