// The three commands of the context menu: their texts, help texts and
// bitmaps. The command offset is also the mode passed to the manager.
#pragma once

const unsigned kCommandCount = 3;

const int kSaveBitmapId = 205;  // beside the two "save" commands
const int kMailBitmapId = 201;  // beside the mail command

// Shift-JIS texts; null for an offset that is no command.
const char* commandMenuText(unsigned offset);
const char* commandHelpText(unsigned offset);
// Bitmap resource of a command; 0 for an offset that is no command.
int commandBitmapId(unsigned offset);
