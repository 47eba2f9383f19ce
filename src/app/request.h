// Telling the job and its parameters from the command-line tail or from a
// request file. No Win32 here: the caller opens the request file.
#pragma once

#include "app/word_reader.h"
#include "common/text_limits.h"

// Dispatch codes.
constexpr int DISPATCH_NO_JOB = 0;
constexpr int DISPATCH_UNUSABLE_REQUEST = 1;  // result -15
constexpr int DISPATCH_IMPORT = 2;
constexpr int DISPATCH_EXPORT = 3;
constexpr int DISPATCH_NO_LIST = 8;
constexpr int DISPATCH_FIRST_LIST = 9;  // 9 and above: bit 0 import list, bit 1 export list

struct Request {
    char source_path[PATH_BUFFER_SIZE];
    char destination_path[PATH_BUFFER_SIZE];
    char request_path[PATH_BUFFER_SIZE];
    int converter_index;
    int dispatch_code;
    char source_selector;
};

enum TailKind {
    TAIL_EMPTY,         // no word at all
    TAIL_REFUSED,       // a word too long for its buffer
    TAIL_REQUEST_FILE,  // one word: request_path is set
    TAIL_CONVERSION,    // import or export: dispatch_code, paths and index are set
};

// Clears *req: empty paths, selector "W", no job.
void request_init(Request *req);

// Reads up to three items from the tail: a word, a word, a decimal integer.
TailKind parse_command_tail(const char *tail, Request *req);

// Reads an opened request file and sets the dispatch code, the paths, the
// selector and the index. A file that is not a usable request gets
// DISPATCH_UNUSABLE_REQUEST.
void parse_request_file(ByteSource *src, Request *req);

// The dispatch code of a list request's first word (which begins with four
// backslashes).
int list_dispatch_code(const char *word);
