/* textconv: a text converter library that imports plain text (code page
 * 1252) to RTF and exports RTF to plain text. The entry points follow the
 * published text-converter API; everything a host hands over arrives in
 * global memory blocks and through the host's data callback. */
#include <windows.h>

#include <io.h>
#include <stdio.h>
#include <string.h>

#include "textconv_core.h"

/* The converter API as a converter declares it: stdcall throughout, results
 * in the low 16 bits. */
typedef long(__stdcall *PFN_RTF)(long cchBuff, long nPercent);

#define TC_EXPORT __declspec(dllexport)

TC_EXPORT long __stdcall InitConverter32(HANDLE hWnd, char *szModule);
TC_EXPORT HGLOBAL __stdcall RegisterApp(unsigned long lFlags, void *lpRegApp);
TC_EXPORT short __stdcall IsFormatCorrect32(HANDLE ghszFile, HANDLE ghszClass);
TC_EXPORT short __stdcall ForeignToRtf32(HANDLE ghszFile, void *pstgForeign, HANDLE ghBuff, HANDLE ghszClass,
                                         HANDLE ghszSubset, PFN_RTF lpfnOut);
TC_EXPORT short __stdcall RtfToForeign32(HANDLE ghszFile, void *pstgForeign, HANDLE ghBuff, HANDLE ghszClass,
                                         PFN_RTF lpfnIn);

/* The host's path handle holds the file name in the OEM code page; the C
 * runtime wants it in the ANSI code page. */
static int path_from_handle(HANDLE handle, char *path, size_t size) {
    if (!handle) return 0;
    SIZE_T block = GlobalSize(handle);
    const char *oem = (const char *)GlobalLock(handle);
    if (!oem) return 0;
    size_t len = strnlen(oem, block);
    int ok = len > 0 && len < block && len < size;
    if (ok) OemToCharBuffA(oem, path, (DWORD)(len + 1));
    GlobalUnlock(handle);
    return ok;
}

TC_EXPORT long __stdcall InitConverter32(HANDLE hWnd, char *szModule) {
    (void)hWnd;
    (void)szModule;
    return 1;
}

/* No preferences to exchange with the host. */
TC_EXPORT HGLOBAL __stdcall RegisterApp(unsigned long lFlags, void *lpRegApp) {
    (void)lFlags;
    (void)lpRegApp;
    return NULL;
}

TC_EXPORT short __stdcall IsFormatCorrect32(HANDLE ghszFile, HANDLE ghszClass) {
    (void)ghszClass;
    char path[MAX_PATH + 1];
    if (!path_from_handle(ghszFile, path, sizeof path)) return 0;
    FILE *f = fopen(path, "rb");
    if (!f) return 0;
    static unsigned char head[TC_SNIFF_SIZE];
    size_t n = fread(head, 1, sizeof head, f);
    int error = ferror(f);
    fclose(f);
    return !error && tc_is_plain_text(head, n) ? 1 : 0;
}

/* ---- Import --------------------------------------------------------- */

struct import_run {
    FILE *source;
    HANDLE buffer;
    PFN_RTF out;
};

static long read_source(void *ctx, unsigned char *buf, size_t cap) {
    struct import_run *run = (struct import_run *)ctx;
    size_t n = fread(buf, 1, cap, run->source);
    if (n == 0 && ferror(run->source)) return -1;
    return (long)n;
}

/* One chunk: into the host's transfer buffer, then the host's callback. */
static long deliver_chunk(void *ctx, const char *bytes, size_t n, int percent) {
    struct import_run *run = (struct import_run *)ctx;
    char *block = (char *)GlobalLock(run->buffer);
    if (!block) return TC_ERR_NO_MEMORY;
    memcpy(block, bytes, n);
    GlobalUnlock(run->buffer);
    return run->out((long)n, percent);
}

TC_EXPORT short __stdcall ForeignToRtf32(HANDLE ghszFile, void *pstgForeign, HANDLE ghBuff, HANDLE ghszClass,
                                         HANDLE ghszSubset, PFN_RTF lpfnOut) {
    (void)pstgForeign;
    (void)ghszClass;
    (void)ghszSubset;
    if (!ghBuff || !lpfnOut) return TC_ERR_NO_MEMORY;
    char path[MAX_PATH + 1];
    if (!path_from_handle(ghszFile, path, sizeof path)) return TC_ERR_OPEN_INPUT;

    /* Chunks never exceed the block the host gave us. */
    static char chunk[4096];
    SIZE_T cap = GlobalSize(ghBuff);
    if (cap > sizeof chunk) cap = sizeof chunk;
    if (cap == 0) return TC_ERR_NO_MEMORY;

    struct import_run run = {fopen(path, "rb"), ghBuff, lpfnOut};
    if (!run.source) return TC_ERR_OPEN_INPUT;
    long long total = _filelengthi64(_fileno(run.source));

    int result = tc_text_to_rtf(read_source, &run, total, deliver_chunk, &run, chunk, cap);
    fclose(run.source);
    return (short)result;
}

/* ---- Export --------------------------------------------------------- */

static int write_text(void *ctx, const char *bytes, size_t n) {
    return fwrite(bytes, 1, n, (FILE *)ctx) == n ? 0 : -1;
}

TC_EXPORT short __stdcall RtfToForeign32(HANDLE ghszFile, void *pstgForeign, HANDLE ghBuff, HANDLE ghszClass,
                                         PFN_RTF lpfnIn) {
    (void)pstgForeign;
    (void)ghszClass;
    if (!ghBuff || !lpfnIn) return TC_ERR_NO_MEMORY;
    char path[MAX_PATH + 1];
    if (!path_from_handle(ghszFile, path, sizeof path)) return TC_ERR_OPEN_OUTPUT;
    FILE *out = fopen(path, "wb");
    if (!out) return TC_ERR_OPEN_OUTPUT;

    static tc_decoder decoder;
    tc_decoder_init(&decoder, write_text, out);
    int result = TC_OK;
    for (;;) {
        /* The host places each piece at the start of the buffer, which it
         * may have grown (and moved) in the call. */
        long n = lpfnIn(0, 0);
        if (n == 0) break;
        if (n < 0) {
            result = TC_ERR_READ;
            break;
        }
        const unsigned char *block = (const unsigned char *)GlobalLock(ghBuff);
        if (!block) {
            result = TC_ERR_NO_MEMORY;
            break;
        }
        SIZE_T size = GlobalSize(ghBuff);
        result = tc_decoder_feed(&decoder, block, (size_t)n < size ? (size_t)n : size);
        GlobalUnlock(ghBuff);
        if (result != TC_OK) break;
    }
    if (result == TC_OK) result = tc_decoder_finish(&decoder);
    if (fclose(out) != 0 && result == TC_OK) result = TC_ERR_WRITE;
    return (short)result;
}
