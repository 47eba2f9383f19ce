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

// What a walk meets besides the hand-outs (where the built-ins are looked
// for, each subkey, and all it passes by), told to an optional observer so
// a diagnostic tool can show it. The observer only watches: it cannot
// change the walk.
enum EnumerationEventKind {
    ENUM_WORDPAD_KEY_MISSING,        // the open command's key cannot be opened
    ENUM_WORDPAD_VALUE_UNREADABLE,   // no default value, or too long
    ENUM_WORDPAD_OTHER_PROGRAM,      // text: the command, without "WORDPAD.EXE"
    ENUM_BUILT_IN_FOLDER,            // text: the command; number: where the file name goes
    ENUM_BUILT_IN_ABSENT,            // a built-in candidate whose file cannot be opened
    ENUM_EXCLUDED,                   // a candidate the exclusion filter keeps out
    ENUM_CONVERTER_KEY_MISSING,      // text: the key path under HKEY_LOCAL_MACHINE
    ENUM_SUBKEY_DOT,                 // subkey: a name beginning with "."
    ENUM_SUBKEY,                     // subkey read next; number: 1 opened, 0 not
    ENUM_WALK_ENDED,                 // RegEnumKeyA failed; number: its error code
};

struct EnumerationEvent {
    EnumerationEventKind kind;
    int position;              // registry: the subkey position; built-ins: the row
    const char *subkey;        // registry events, else null
    const char *display_name;  // the candidate, where there is one, else null
    const char *library_path;
    const char *text;
    long number;
};

typedef void (*EnumerationObserver)(const EnumerationEvent *event, void *context);

// Null (the default): no events. Strings are borrowed for the call only.
extern EnumerationObserver g_enumeration_observer;
extern void *g_enumeration_observer_context;
