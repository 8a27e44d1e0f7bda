// "imbench run ...": the headless runner from the command line, with the
// simulated instrument for --demo.
#pragma once

// argv[1] is "run"; the exit code.
int run_command(int argc, char** argv);
