// Text on stderr (and stdout for --help/--version): UTF-8 inside dvbatch,
// shown right on a console and written as UTF-8 bytes elsewhere.
#pragma once

#include <string>

void write_out(const std::string &utf8);
void write_err(const std::string &utf8);
// Whether stderr is a console (the progress line is then rewritten in place).
bool stderr_is_console();
