// Structured exceptions around a foreign call, for 32-bit x86 with GCC.
//
// GCC on i686 has no __try/__except, so the frame is made by hand, the way the
// system itself chains them: on x86 every thread keeps a list of exception
// registration records at fs:[0] (NT_TIB::ExceptionList), each {next, handler},
// each living on the stack of the function that installed it. When an
// exception is raised the system walks the list from the innermost record and
// calls each handler until one takes it, so the code we call keeps first say
// over its own exceptions and we see only those it leaves unhandled. Our
// handler then
//   1. lets RtlUnwind run the unwind handlers of every record inside ours (they
//      leave the list), exactly what __except does, and
//   2. jumps back into callGuarded with __builtin_longjmp, which restores the
//      stack and frame pointers saved by __builtin_setjmp; the function that
//      holds __builtin_setjmp treats every register as lost at that point, so
//      nothing stale is used afterwards.
// callGuarded finally puts the list back to what it was before the call. The
// handler touches only the stack and the TEB, so it works the same on Windows
// and under Wine, on any thread. What the system checks before it calls a
// handler holds: the record lies on this thread's stack, the list still ends
// in the system's own last record (SEHOP), and the program image has no SafeSEH
// table and is not marked NO_SEH (tests/encryption/check_seh.sh keeps it so).
#include "manager/encryption/guarded_call.h"

#include <windows.h>

#if defined(__x86_64__)

// The program's 64-bit test build has no frame of its own here: the call is
// made plainly, and the tests of faulting calls are those of the 32-bit
// program.
int callGuarded(void (*call)(void*), void* context, unsigned long*) {
  call(context);
  return 0;
}

#elif !defined(__i386__)
#error "guarded_call.cpp installs x86 (fs:[0]) or x86_64 exception frames; other targets need their own"
#else

namespace {

struct GuardFrame {
  GuardFrame* next;       // EXCEPTION_REGISTRATION_RECORD: next record
  void* handler;          // EXCEPTION_REGISTRATION_RECORD: its handler
  void* resume[5];        // __builtin_setjmp buffer
  DWORD exceptionCode;
};

// The head of this thread's list, NT_TIB::ExceptionList at fs:[0].
inline void* exceptionList() {
  void* head;
  __asm__ __volatile__("movl %%fs:0, %0" : "=r"(head) : : "memory");
  return head;
}
inline void setExceptionList(void* record) { __asm__ __volatile__("movl %0, %%fs:0" : : "r"(record) : "memory"); }

// RtlUnwind on x86 returns to its caller but does not keep the callee-saved
// registers, so ebp and ebx are kept on the stack around it and the others are
// declared lost.
void unwindTo(GuardFrame* frame, EXCEPTION_RECORD* record) {
  int eax, ecx, esi, edi;
  __asm__ __volatile__(
      "pushl %%ebp\n\t"
      "pushl %%ebx\n\t"
      "pushl $0\n\t"      // ReturnValue
      "pushl %%ecx\n\t"   // ExceptionRecord
      "pushl $0\n\t"      // TargetIp (not used on x86)
      "pushl %%esi\n\t"   // TargetFrame
      "call *%%eax\n\t"   // stdcall: pops its four arguments
      "popl %%ebx\n\t"
      "popl %%ebp\n\t"
      : "=a"(eax), "=c"(ecx), "=S"(esi), "=D"(edi)
      : "0"(RtlUnwind), "1"(record), "2"(frame)
      : "edx", "memory", "cc");
}

extern "C" EXCEPTION_DISPOSITION __cdecl guardHandler(EXCEPTION_RECORD* record, void* establisherFrame,
                                                     CONTEXT*, void*) {
  // Called again while an outer frame unwinds through ours: nothing to undo.
  if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) return ExceptionContinueSearch;
  GuardFrame* frame = static_cast<GuardFrame*>(establisherFrame);
  frame->exceptionCode = record->ExceptionCode;
  unwindTo(frame, record);
  __builtin_longjmp(frame->resume, 1);
}

}  // namespace

__attribute__((noinline)) int callGuarded(void (*call)(void*), void* context, unsigned long* exceptionCode) {
  GuardFrame frame;
  frame.next = static_cast<GuardFrame*>(exceptionList());
  frame.handler = reinterpret_cast<void*>(guardHandler);
  frame.exceptionCode = 0;
  if (__builtin_setjmp(frame.resume) == 0) {
    setExceptionList(&frame);
    call(context);
    setExceptionList(frame.next);
    return 0;
  }
  // Back from guardHandler: our record and everything inside it leave the list.
  setExceptionList(frame.next);
  if (exceptionCode) *exceptionCode = frame.exceptionCode;
  return 1;
}

#endif
