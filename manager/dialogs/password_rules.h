// Checks of a new password entered twice. Lengths are bytes of the code page
// 932 text, so a double-byte character counts twice.
#pragma once

enum PasswordProblem {
  PASSWORD_MISSING = 1,    // either entry empty
  PASSWORD_MISMATCH = 2,   // both given and different
  PASSWORD_TOO_LONG = 4,   // either entry of 64 bytes or more
};
enum { PASSWORD_MAX_BYTES = 63 };

// The problems found, as a set of the flags above (0: acceptable).
int checkNewPassword(const char* entry, const char* confirmation);

// A password is kept as typed in code page 932: a character that the code page
// cannot hold is refused (TEXT_PASSWORD_CHARACTER), never replaced by a
// look-alike or "?".
