// The program's own steps, after the modules' start-up.
#pragma once

void ProgramMain();
