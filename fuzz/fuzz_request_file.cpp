// Request files come from the caller as they are: any bytes, any length.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "app/request.h"

namespace {

struct Bytes {
    const uint8_t *data;
    size_t size, pos;
};

int next(void *ctx) {
    Bytes *b = static_cast<Bytes *>(ctx);
    return b->pos < b->size ? b->data[b->pos++] : -1;
}

void check_terminated(const char *buf, size_t size) {
    if (!memchr(buf, 0, size)) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Request req;
    request_init(&req);
    Bytes bytes = {data, size, 0};
    ByteSource src = byte_source(next, &bytes);
    parse_request_file(&src, &req);

    check_terminated(req.source_path, sizeof req.source_path);
    check_terminated(req.destination_path, sizeof req.destination_path);
    int code = req.dispatch_code;
    // A list request never names a conversion, and a conversion always has
    // both paths from the caller.
    if (code == DISPATCH_IMPORT || code == DISPATCH_EXPORT) {
        if (!req.source_path[0] || !req.destination_path[0]) abort();
        if (strncmp(req.source_path, "\\\\\\\\", 4) == 0) abort();
    } else if (code != DISPATCH_UNUSABLE_REQUEST && strncmp(req.source_path, "\\\\\\\\", 4) != 0) {
        abort();
    }
    if (code == DISPATCH_IMPORT && req.converter_index != 0) abort();
    return 0;
}
