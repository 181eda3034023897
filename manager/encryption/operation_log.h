#pragma once

// Appends one record per source-list line to "Log\\Crypt.Log" beside the
// program, under the semaphore "CRYPTLOGSEMA". Reports nothing.
void appendOperationLog(const char* startText, long long startSeconds);

// Whole seconds since 1970 from the system clock.
long long currentSeconds();
