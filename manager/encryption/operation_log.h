#pragma once

// Appends one record per source-list line to "Log\\Crypt.Log" beside the
// program, under the semaphore "CRYPTLOGSEMA". Reports nothing. The
// destination is where the result went (null: the job's own, the media path
// or the output path).
void appendOperationLog(const char* startText, long long startSeconds, const wchar_t* destination = nullptr);

// Whole seconds since 1970 from the system clock.
long long currentSeconds();
