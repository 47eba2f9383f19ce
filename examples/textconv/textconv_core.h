/* Plain text <-> RTF, without any Win32: what the converter DLL does with
 * the bytes, kept apart from how they travel (global memory, callbacks,
 * files), so it can be tested natively.
 *
 * Text is single-byte text in code page 1252; RTF line ends are CR LF. */
#ifndef TEXTCONV_CORE_H
#define TEXTCONV_CORE_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Converter results: negative is failure, as the converter API wants. */
enum {
    TC_OK = 0,
    TC_ERR_OPEN_INPUT = -1,  /* the source file cannot be opened */
    TC_ERR_READ = -2,        /* the source cannot be read (or the host's data ended with an error) */
    TC_ERR_WRITE = -4,       /* the destination cannot be written */
    TC_ERR_NO_MEMORY = -8,   /* a block from the host is missing or too small */
    TC_ERR_INVALID_DOC = -9, /* the RTF is malformed */
    TC_ERR_OPEN_OUTPUT = -12,/* the destination cannot be opened */
    TC_ERR_STOPPED = -13     /* the host asked to stop */
};

/* How many leading bytes of a file the format test looks at. */
#define TC_SNIFF_SIZE 65536

/* 1 when these leading bytes of a file are plain text this converter
 * imports: no NUL byte, and not already RTF. */
int tc_is_plain_text(const unsigned char *head, size_t n);

/* ---- Text to RTF ---------------------------------------------------- */

/* Reads up to cap bytes of the source into buf; 0 at its end, negative on a
 * read error. */
typedef long (*tc_read_fn)(void *ctx, unsigned char *buf, size_t cap);
/* Delivers one chunk of RTF with the share of the source consumed so far;
 * non-zero asks the converter to stop (a negative value is passed on as the
 * converter's result). */
typedef long (*tc_chunk_fn)(void *ctx, const char *bytes, size_t n, int percent);

/* Converts the whole source to one RTF document, delivered in chunks of at
 * most chunk_cap bytes (chunk is the caller's buffer of that size).
 * total is the source's length, for the percentages (0: unknown).
 * Returns TC_OK or a negative result. */
int tc_text_to_rtf(tc_read_fn read, void *read_ctx, long long total, tc_chunk_fn deliver, void *deliver_ctx,
                   char *chunk, size_t chunk_cap);

/* ---- RTF to text ---------------------------------------------------- */

/* Writes decoded text; non-zero on failure. */
typedef int (*tc_write_fn)(void *ctx, const char *bytes, size_t n);

#define TC_MAX_DEPTH 256
#define TC_MAX_WORD 32
#define TC_OUT_SIZE 512

typedef struct tc_group {
    unsigned char skip; /* inside a destination whose text is not document text */
    unsigned char uc;   /* fallback characters that follow \uN */
} tc_group;

/* A streaming RTF reader: fed any pieces of the document, in order. */
typedef struct tc_decoder {
    tc_write_fn write;
    void *write_ctx;
    int state;
    int error;
    int depth;          /* open groups */
    int seen_header;    /* "{\rtf" has been read */
    int ended;          /* the outermost group has closed */
    int group_start;    /* nothing but the opening brace read in this group yet */
    long long skip_bytes;   /* \binN data still to pass over */
    int fallback_left;  /* fallback characters of a \uN still to drop */
    int hex_value;
    char word[TC_MAX_WORD + 1];
    int word_len;
    char digits[12];
    int digit_len;
    tc_group groups[TC_MAX_DEPTH];
    char out[TC_OUT_SIZE];
    size_t out_len;
} tc_decoder;

void tc_decoder_init(tc_decoder *d, tc_write_fn write, void *write_ctx);
/* Returns TC_OK, or a negative result that every later call repeats. */
int tc_decoder_feed(tc_decoder *d, const unsigned char *bytes, size_t n);
/* The document has ended: checks that it was complete and writes what is
 * still buffered. */
int tc_decoder_finish(tc_decoder *d);

/* The code page 1252 byte of a Unicode code point, or -1 if it has none. */
int tc_cp1252_from_unicode(long code_point);

#ifdef __cplusplus
}
#endif

#endif
