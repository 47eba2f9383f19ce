// The command line is whatever the starting program passed.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "app/command_tail.h"
#include "app/request.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string line(reinterpret_cast<const char *>(data), size);  // ends at the first zero byte
    const char *begin = line.c_str();
    const char *tail = command_line_tail(begin);
    if (tail < begin || tail > begin + strlen(begin)) abort();
    if (*tail == ' ' || *tail == '\t') abort();

    Request req;
    request_init(&req);
    switch (parse_command_tail(tail, &req)) {
    case TAIL_EMPTY:
    case TAIL_REFUSED:
        break;
    case TAIL_REQUEST_FILE:
        if (!req.request_path[0] || req.dispatch_code != DISPATCH_NO_JOB) abort();
        break;
    case TAIL_CONVERSION:
        if (!req.source_path[0] || !req.destination_path[0] || req.request_path[0]) abort();
        if (req.dispatch_code != DISPATCH_IMPORT && req.dispatch_code != DISPATCH_EXPORT) abort();
        break;
    }
    if (!memchr(req.source_path, 0, sizeof req.source_path) ||
        !memchr(req.destination_path, 0, sizeof req.destination_path) ||
        !memchr(req.request_path, 0, sizeof req.request_path))
        abort();
    return 0;
}
