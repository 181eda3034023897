// A call into foreign code that may fault, such as a mail provider.
#pragma once

// Runs call(context) inside a structured-exception frame of its own. An
// exception that the called code does not handle itself (an access violation,
// say) ends the call instead of the process: the frames inside it are unwound
// and this returns 1, with the exception code in *exceptionCode when given.
// Returns 0 when call returned normally. Usable on any thread, and nested.
int callGuarded(void (*call)(void* context), void* context, unsigned long* exceptionCode = nullptr);
