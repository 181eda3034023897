// The English texts, in the order of UiText: plain ASCII, short, the same
// meaning as the Japanese; the same conversions (%s, %d, ...) in the same
// order.
#include "common/ui_texts.h"

extern const char* const kEnglishTexts[UI_TEXT_COUNT] = {
    // TEXT_CAPTION
    "Manual Encryption",
    // TEXT_RESULT_DAMAGED
    "The encrypted file is damaged or incomplete.\r\nPlease get the file again.",
    // TEXT_NO_MEMORY
    "There is not enough memory to do the work.",
    // TEXT_DROP_HINT
    "Drag and drop the files or folders to encrypt onto this program.",
    // TEXT_SOURCE_PATH_TOO_LONG
    "The path of the given file is too long.\r\nMove the file to a place with a shorter path, then try again.",
    // TEXT_JOB_NOT_STARTED
    "The work could not be started.\r\nIt has been stopped.",
    // TEXT_TEMP_PATH_TOO_LONG
    "The path of the temporary folder is too long, so the work cannot start.",
    // TEXT_STATUS_ENCRYPTING
    "Encrypting the archive",
    // TEXT_STATUS_DECRYPTING
    "Decrypting the archive",
    // TEXT_STATUS_WRITING_RESULT
    "Writing the encrypted file",
    // TEXT_HEADING_ENCRYPT
    "Enter a password to encrypt with.",
    // TEXT_HEADING_DECRYPT
    "Enter the password to decrypt.",
    // TEXT_PASSWORD_MISSING
    "No password has been entered.",
    // TEXT_PASSWORD_MISMATCH
    "The passwords do not match.\r\nEnter the same password in both boxes.",
    // TEXT_PASSWORD_TOO_LONG
    "The password is too long.\r\nUse at most 63 characters.",
    // TEXT_PASSWORD_CHARACTER
    "The password contains a character that cannot be used.\r\nUse only characters that Japanese (Shift-JIS) can hold.",
    // TEXT_BROWSE_TITLE
    "Choose a folder.",
    // TEXT_SAVE_AS_TITLE
    "Save the encrypted file",
    // TEXT_SAVE_AS_FILTER
    "Program (*.exe)\0*.exe\0Program to rename (*.ex_)\0*.ex_\0Encrypted data (*.kyvo)\0*.kyvo\0"
    "All files (*.*)\0*.*\0",
    // TEXT_PATH_TOO_LONG
    "The path is longer than allowed.",
    // TEXT_NO_WRITE_PERMISSION
    "You do not have permission to write here.",
    // TEXT_MEDIA_NOT_WRITABLE
    "The selected media cannot be written to.",
    // TEXT_REPLACE_ON_MEDIA
    "%s already exists.\r\nDo you want to replace it?",
    // TEXT_MEDIA_COPY_FAILED
    "The encrypted file could not be copied to the external media.\r\n\r\n[From] %s\r\n[To] %s\r\n"
    "\r\nThe encrypted file has been left where it was made.",
    // TEXT_MAILER_NOT_STARTED
    "The mail program could not be started.",
    // TEXT_MAIL_NOT_TAKEN
    "No mail program took the encrypted file.\r\nDo you want to save it?",
    // TEXT_NOTHING_TO_PACK
    "Drag the files to encrypt onto this program.",
    // TEXT_ENCRYPT_CANNOT_WRITE
    "The file cannot be written.\r\nCheck the free disk space and your permission to write.",
    // TEXT_ENCRYPT_NAME_TOO_LONG
    "A file name was too long.\r\nThe work has been stopped.",
    // TEXT_ENCRYPT_STOPPED
    "The work was stopped.",
    // TEXT_ENCRYPT_FAILED
    "The work did not finish normally. Error (%d)",
    // TEXT_PACK_NOT_FOUND
    "This file or folder was not found:\r\n%s\r\nThe work has been stopped.",
    // TEXT_PACK_UNREADABLE
    "This file or folder could not be read:\r\n%s\r\nThe work has been stopped.",
    // TEXT_PACK_IN_USE
    "This file could not be read because another program is using it:\r\n%s\r\nThe work has been stopped.",
    // TEXT_PACK_NOT_STORABLE
    "The name of this file or folder contains characters that an encrypted file cannot store:\r\n%s\r\n"
    "The work has been stopped.",
    // TEXT_PACK_DRIVE_ROOT
    "A whole drive cannot be encrypted. Select folders or files instead:\r\n%s\r\nThe work has been stopped.",
    // TEXT_PACK_NAME_CLASH
    "Two selected files or folders have the same name:\r\n%s\r\n%s\r\n"
    "Rename one, or encrypt them separately.",
    // TEXT_NO_CIPHER
    "The cryptography of Windows (bcrypt.dll) could not be used.\r\nThe work has been stopped.",
    // TEXT_DECRYPT_CANNOT_WRITE
    "The file cannot be written.\r\nCheck the free disk space, your permission to write and the length of the file names.",
    // TEXT_RESTORE_PATH_TOO_LONG
    "The path of a file to restore is too long.",
    // TEXT_NOT_RESTORED
    "The archived files could not be restored.",
    // TEXT_NOT_RESTORED_NAMED
    "The archived files could not be restored.\r\n%s",
    // TEXT_FOLDER_CLASH
    "This folder could not be restored because another decryption running at the same time made one of the same "
    "name:\r\n%s\r\nPlease decrypt again.",
    // TEXT_FOLDER_KEPT
    "A restored folder could not be given its name because another program was using it.\r\n"
    "The restored files are in this folder:\r\n%s",
    // TEXT_WRONG_PASSWORD
    "The file could not be decrypted.\r\nCheck the password.",
    // TEXT_DECRYPT_STOPPED
    "The work was stopped.",
    // TEXT_DECRYPT_FAILED
    "The work did not finish normally. Error (%d)",
    // TEXT_REPLACE_EXISTING
    "Existing file",
    // TEXT_REPLACE_INCOMING
    "Decrypted file",
    // TEXT_REPLACE_LINE
    "%s: %I64u bytes, modified %04u/%02u/%02u %02u:%02u:%02u",
    // TEXT_MENU_SAVE_TO_DRIVE
    "Encrypt and save to a drive",
    // TEXT_MENU_SAVE_TO_MEDIA
    "Encrypt and save to external media",
    // TEXT_MENU_ATTACH_TO_MAIL
    "Encrypt and attach to mail",
    // TEXT_HELP_SAVE_TO_DRIVE
    "Encrypts and saves to a drive. (Starts the manual encryption program.)",
    // TEXT_HELP_SAVE_TO_MEDIA
    "Encrypts and saves to external media. (Starts the manual encryption program.)",
    // TEXT_HELP_ATTACH_TO_MAIL
    "Encrypts and attaches to a new mail. (Starts the manual encryption program.)",
};
