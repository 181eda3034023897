// The texts the user sees, in the two languages of the user interface: one
// table per language, keyed by the same names. Japanese texts are code page
// 932 (as the sources are compiled); English texts are plain ASCII, which
// reads the same in every code page. Byte-level: no windows.h here; the
// language of the running process is in common/ui_language.h.
#pragma once

enum UiLanguage {
  UI_LANGUAGE_JAPANESE = 0,
  UI_LANGUAGE_ENGLISH = 1,
};

// Japanese when the primary language of a Windows language identifier is
// Japanese (0x11), English for any other.
UiLanguage uiLanguageFor(unsigned short languageId);

// A language identifier the dialog resources of that language carry.
unsigned short resourceLanguageOf(UiLanguage language);

enum UiText {
  // Both deliverables' message caption and the start-up messages.
  TEXT_CAPTION,
  TEXT_RESULT_DAMAGED,
  TEXT_NO_MEMORY,
  TEXT_DROP_HINT,
  TEXT_SOURCE_PATH_TOO_LONG,
  TEXT_JOB_NOT_STARTED,
  TEXT_TEMP_PATH_TOO_LONG,
  // Progress lines.
  TEXT_STATUS_ENCRYPTING,
  TEXT_STATUS_DECRYPTING,
  TEXT_STATUS_WRITING_RESULT,
  // Password dialog.
  TEXT_HEADING_ENCRYPT,
  TEXT_HEADING_DECRYPT,
  TEXT_PASSWORD_MISSING,
  TEXT_PASSWORD_MISMATCH,
  TEXT_PASSWORD_TOO_LONG,
  TEXT_PASSWORD_CHARACTER,
  // Folder browser and save dialog.
  TEXT_BROWSE_TITLE,
  TEXT_SAVE_AS_TITLE,
  TEXT_SAVE_AS_FILTER,  // pairs of NUL-terminated texts, ended by a second NUL
  // Encryption wizard and delivery.
  TEXT_PATH_TOO_LONG,
  TEXT_NO_WRITE_PERMISSION,
  TEXT_MEDIA_NOT_WRITABLE,
  TEXT_REPLACE_ON_MEDIA,       // %s: the file on the medium
  TEXT_MEDIA_COPY_FAILED,      // %s: from, %s: to
  TEXT_MAILER_NOT_STARTED,
  TEXT_MAIL_NOT_TAKEN,         // the offer to save the result instead
  // Encryption job.
  TEXT_NOTHING_TO_PACK,
  TEXT_ENCRYPT_CANNOT_WRITE,
  TEXT_ENCRYPT_NAME_TOO_LONG,
  TEXT_ENCRYPT_STOPPED,
  TEXT_ENCRYPT_FAILED,         // %d: the code
  TEXT_PACK_NOT_FOUND,         // %s: the item, in each of these
  TEXT_PACK_UNREADABLE,
  TEXT_PACK_IN_USE,
  TEXT_PACK_NOT_STORABLE,
  TEXT_PACK_DRIVE_ROOT,
  TEXT_PACK_NAME_CLASH,        // %s, %s: the two items
  TEXT_NO_CIPHER,              // the system's cryptography failed
  // Decryption job and the question before a file is replaced.
  TEXT_DECRYPT_CANNOT_WRITE,
  TEXT_RESTORE_PATH_TOO_LONG,
  TEXT_NOT_RESTORED,
  TEXT_NOT_RESTORED_NAMED,     // %s: the file
  TEXT_FOLDER_CLASH,           // %s: the folder
  TEXT_FOLDER_KEPT,            // %s: the folder the restored one stays in
  TEXT_WRONG_PASSWORD,
  TEXT_DECRYPT_STOPPED,
  TEXT_DECRYPT_FAILED,         // %d: the code
  TEXT_REPLACE_EXISTING,
  TEXT_REPLACE_INCOMING,
  TEXT_REPLACE_LINE,           // %s label, %I64u size, then the local time
  // Shell extension: the three commands and their help texts, in menu order.
  TEXT_MENU_SAVE_TO_DRIVE,
  TEXT_MENU_SAVE_TO_MEDIA,
  TEXT_MENU_ATTACH_TO_MAIL,
  TEXT_HELP_SAVE_TO_DRIVE,
  TEXT_HELP_SAVE_TO_MEDIA,
  TEXT_HELP_ATTACH_TO_MAIL,
  UI_TEXT_COUNT
};

// The text of that name in that language; never null (an unknown name gives "").
const char* uiTextIn(UiLanguage language, UiText name);
