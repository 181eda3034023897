// Checks of the names and folder paths that an archive brings along.
//
// An archive arrives by mail; one that decrypts correctly can still be
// crafted. An entry is restored only when its folder path and name name a
// place below the output folder and nothing else: each component is a plain
// name that Windows keeps as it is.
#pragma once

// A component is refused when it is empty, or empty once Windows strips its
// trailing dots and blanks ("." and ".." among them); when it holds '/', ':',
// a control character or one of  < > " | ? * ; and when its part before the
// first dot (trailing blanks and dots stripped) is a device name: CON, PRN,
// AUX, NUL, COM1..COM9, LPT1..LPT9, CONIN$, CONOUT$, in any ASCII case.
// Bytes that are the second byte of a double-byte character are part of
// their character and never count as any of these.
//
// The names of an entry are ANSI text (code page 932) or, in a Unicode entry,
// UTF-8 (utf8 true): then they must be well-formed, and every byte of 0x80 or
// above is part of a character (no Shift-JIS pairing).
bool isSafePathComponent(const char* text, unsigned long length, bool utf8 = false);

// The folder path: empty (the top level), or components separated by single
// backslashes (Shift-JIS rule: the 0x5C of 表, ソ, 能 does not separate),
// without a leading or trailing backslash.
bool isSafeFolderPath(const char* folderPath, bool utf8 = false);

// The name: one safe component without any backslash. An empty name is valid
// only for a folder entry (the folder-end entry, which names its folder path).
bool isSafeEntryName(const char* name, bool folderEntry, bool utf8 = false);
