// Runs docvane's own converter enumerator for each direction and selector,
// with an action that takes nothing and an observer, and fills the report:
// so the indices shown are the ones docvane gives.
#pragma once

#include "info/info_report.h"

// own_machine: the PE machine of this build, for the library checks.
void survey_converters(Report *r, unsigned own_machine);
