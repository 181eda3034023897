#pragma once

// Hands the file to the mail program as the attachment of a new message
// (Simple MAPI, bound at run time). 0 when the mail program was called and
// returned, -1 when Simple MAPI could not be used or the call faulted.
int attachToMail(const wchar_t* path);
