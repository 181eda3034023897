// Start-up of the manager: module paths, configuration, command-line dispatch.
#pragma once

// Fills moduleDir and moduleFileName; 0, or 1 if the program's path is unknown.
int initModulePaths();
// Applies "Kyvomar.Cfg" beside the program to writeLog.
void readConfiguration();
// Reads the settings (the configuration file, the machine's container format
// policy), classifies the arguments of the command line and runs the matching
// wizard.
void dispatchCommandLine(const wchar_t* text);

// Name of the configuration file.
extern const char kConfigFileName[];
