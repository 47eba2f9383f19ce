// The command-line tail: the process command line without the program name
// and the blanks and tabs after it.
#pragma once

const char *command_line_tail(const char *command_line);
