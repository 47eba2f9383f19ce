// The converter enumerator: walks WordPad's built-in converters and the
// registry's converters for one direction, numbers them and hands each one
// to a converter action until an action settles a result.
#pragma once

#include "common/converter_record.h"

// Which sources to consult, compared after upper-casing: "W" the built-ins,
// "X" the registry, "Y" both. Set by request dispatch.
extern char g_source_selector;

// The final running result, or -15 when no action took the request.
int enumerate_converters(ConverterAction action, void *context, int export_flag);
