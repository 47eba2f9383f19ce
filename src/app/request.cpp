#include "app/request.h"

#include <string.h>

void request_init(Request *req) {
    memset(req, 0, sizeof *req);
    req->source_selector = 'W';
    req->dispatch_code = DISPATCH_NO_JOB;
}

TailKind parse_command_tail(const char *tail, Request *req) {
    StringCursor cursor = {tail};
    ByteSource src = byte_source(string_cursor_next, &cursor);

    WordStatus first = read_word(&src, req->source_path, sizeof req->source_path);
    if (first == WORD_NONE) return TAIL_EMPTY;
    if (first == WORD_REFUSED) return TAIL_REFUSED;

    WordStatus second = read_word(&src, req->destination_path, sizeof req->destination_path);
    if (second == WORD_REFUSED) return TAIL_REFUSED;
    if (second == WORD_NONE) {
        // One word: the path of a request file.
        memcpy(req->request_path, req->source_path, sizeof req->request_path);
        req->source_path[0] = '\0';
        return TAIL_REQUEST_FILE;
    }
    req->dispatch_code = read_int(&src, &req->converter_index) ? DISPATCH_EXPORT : DISPATCH_IMPORT;
    return TAIL_CONVERSION;
}

int list_dispatch_code(const char *word) {
    // A word shorter than eight characters lacks a digit: a missing digit
    // asks for no list, as "0" would.
    size_t len = strlen(word);
    unsigned char i = len > 5 ? static_cast<unsigned char>(word[5]) : '0';
    unsigned char e = len > 7 ? static_cast<unsigned char>(word[7]) : '0';
    int code = 8 + (i - 48) + 2 * (e - 48);
    // Digits below "0" can give the codes of a conversion whose paths a list
    // request does not hold: such a request asks for no list and no job.
    if (code == DISPATCH_UNUSABLE_REQUEST || code == DISPATCH_IMPORT || code == DISPATCH_EXPORT)
        code = DISPATCH_NO_LIST;
    return code;
}

void parse_request_file(ByteSource *src, Request *req) {
    req->dispatch_code = DISPATCH_UNUSABLE_REQUEST;
    if (read_word(src, req->source_path, sizeof req->source_path) != WORD_OK) return;
    skip_space(src);
    if (strncmp(req->source_path, "\\\\\\\\", 4) == 0) {
        req->dispatch_code = list_dispatch_code(req->source_path);
        return;
    }
    // Without a destination from the caller there is nothing to convert to.
    if (read_word(src, req->destination_path, sizeof req->destination_path) != WORD_OK) {
        req->source_path[0] = '\0';
        req->destination_path[0] = '\0';
        return;
    }
    skip_space(src);
    int selector = read_byte(src);
    if (selector != -1) req->source_selector = static_cast<char>(selector);
    req->dispatch_code = read_int(src, &req->converter_index) ? DISPATCH_EXPORT : DISPATCH_IMPORT;
}
