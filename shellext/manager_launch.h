// Starting the manager, Kyvomar.exe, from the DLL's own directory.
#pragma once

// Starts the manager with commandLine (which CreateProcessW may modify) if
// the program exists beside the DLL; nothing is reported either way.
void startManager(wchar_t* commandLine);
