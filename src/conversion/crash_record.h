// The crash record: one line for the event log, telling an administrator
// what ended a conversion run and where, so that the symbols archive can
// name the function. Plain code on fixed buffers: the guard writes it in a
// process it must not trust.
#pragma once

#include <stddef.h>

constexpr size_t CRASH_RECORD_SIZE = 768;

struct CrashFacts {
    unsigned long code;         // the exception code; 0: converter code ended the run
    unsigned long long address; // where the exception happened
    const char *module;         // the module that address lies in, or NULL
    unsigned long long offset;  // the address's offset in module
    const char *converter;      // the last converter library loaded, or NULL
    int result;                 // what the run ended with
};

// Writes the record into out (always terminated) and returns its length;
// cut at size.
size_t format_crash_record(char *out, size_t size, const CrashFacts &facts);
