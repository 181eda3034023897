// The three forms of the manager's command line and the path trimming rule.
#pragma once
#include <stddef.h>

enum CommandForm { FORM_EMPTY = 0, FORM_SWITCH = 1, FORM_PLAIN = 2 };

struct CommandLineInfo {
  CommandForm form;
  long destinationMode;     // -1 unless the switch form carries a valid token
  const wchar_t* pathList;  // points into the text (the path list of the switch form)
};

// The switch "/crpmode=" (9 characters).
extern const wchar_t kModeSwitch[];
enum { MODE_SWITCH_LENGTH = 9, MODE_TOKEN_MAX = 9 };

// The arguments of a whole command line as the system hands it over (program
// name first): the program name is skipped by the platform's rule (up to the
// closing quote when it begins with one, else up to the first blank or
// control character), then the blanks after it. Every other character,
// whatever its value, belongs to the text.
const wchar_t* commandLineArguments(const wchar_t* commandLine);

// Classifies the arguments (text may be null). The switch counts only at the
// very start of the text; a switch elsewhere, or a mode token longer than 9
// characters, gives the switch form without a mode (-1), so no job can start
// from it.
void classifyCommandLine(const wchar_t* text, CommandLineInfo* info);

// Copies the trimmed form of input into out (capacity cap): outer blanks
// (units of 0x20 or below) and one pair of enclosing double quotes removed.
void trimCommandLinePath(char* out, size_t cap, const char* input);
void trimCommandLinePath(wchar_t* out, size_t cap, const wchar_t* input);
