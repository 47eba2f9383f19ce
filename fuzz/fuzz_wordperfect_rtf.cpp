// Untrusted WordPerfect documents through libwpd and the RTF writer, as the
// WordPerfect converter runs them: whatever libwpd makes of the bytes, the
// writer must not fault, and a document libwpd parses gives RTF whose groups
// balance.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>

#include <libwpd/libwpd.h>
#include <librevenge-stream/librevenge-stream.h>

#include "rtf_text.h"
#include "rtf_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    librevenge::RVNGStringStream input(data, static_cast<unsigned>(size));
    if (libwpd::WPDocument::isFileFormatSupported(&input) == libwpd::WPD_CONFIDENCE_NONE) return 0;
    input.seek(0, librevenge::RVNG_SEEK_SET);
    RtfWriter writer;
    libwpd::WPDResult result = libwpd::WPDocument::parse(&input, &writer, nullptr);
    std::string rtf = writer.head();
    rtf += writer.body();
    rtf += RtfWriter::tail();
    if (result == libwpd::WPD_OK && !rtf_text(rtf).ok) abort();
    return 0;
}
