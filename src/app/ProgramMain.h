// The program's own steps, after the modules' start-up.
#pragma once

// commandLine: the process's whole command line, the program's own item first.
void ProgramMain(const char* commandLine);
