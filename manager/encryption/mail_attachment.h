#pragma once

// Hands the file to the mail program as the attachment of a new message
// (Simple MAPI, bound at run time), its text the administrators' note where a
// policy gives one. 0 when the mail program took it (sent, or its compose
// window closed by the user), -1 when no mail program took it: Simple MAPI
// could not be used, the call faulted (said here), or it gave any other
// answer.
int attachToMail(const wchar_t* path);
