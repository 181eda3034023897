// The three forms of the manager's command line and the path trimming rule.
#pragma once
#include <stddef.h>

enum CommandForm { FORM_EMPTY = 0, FORM_SWITCH = 1, FORM_PLAIN = 2 };

struct CommandLineInfo {
  CommandForm form;
  long destinationMode;  // -1 unless the switch form carries a valid token
  const char* pathList;  // points into the text (the path list of the switch form)
};

// The switch "/crpmode=" (9 characters).
extern const char kModeSwitch[];
enum { MODE_SWITCH_LENGTH = 9, MODE_TOKEN_MAX = 9 };

// Classifies text (may be null). The switch counts only at the very start of the
// text; a switch elsewhere, or a mode token longer than 9 characters, gives the
// switch form without a mode (-1), so no job can start from it.
void classifyCommandLine(const char* text, CommandLineInfo* info);

// Copies the trimmed form of input into out (capacity cap): outer blanks (bytes
// of 0x20 or below) and one pair of enclosing double quotes removed.
void trimCommandLinePath(char* out, size_t cap, const char* input);
