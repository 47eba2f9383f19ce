// Untrusted WordPerfect documents through libwpd and the RTF writer, as the
// WordPerfect converter runs them: whatever libwpd makes of the bytes, the
// writer must not fault, and a document libwpd parses gives RTF whose groups
// balance and hold the text librevenge's own text generator gets from the
// same document (white space aside).
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>

#include <libwpd/libwpd.h>
#include <librevenge-generators/librevenge-generators.h>
#include <librevenge-stream/librevenge-stream.h>

#include "rtf_text.h"
#include "rtf_writer.h"

namespace {

using librevenge::RVNGPropertyList;

// The text generator, with the RTF writer's stand-ins for what it leaves out.
class TextWithPlaceholders : public librevenge::RVNGTextTextGenerator {
public:
    explicit TextWithPlaceholders(librevenge::RVNGString &out) : RVNGTextTextGenerator(out) {}
    void insertBinaryObject(const RVNGPropertyList &p) override {
        const librevenge::RVNGProperty *mime = p["librevenge:mime-type"];
        bool picture = !mime || std::string(mime->getStr().cstr()).compare(0, 6, "image/") == 0;
        insertText(picture ? "[picture]" : "[object]");
    }
    void insertEquation(const RVNGPropertyList &) override { insertText("[equation]"); }
    void drawRectangle(const RVNGPropertyList &) override { insertText("[drawing]"); }
    void drawEllipse(const RVNGPropertyList &) override { insertText("[drawing]"); }
    void drawPolygon(const RVNGPropertyList &) override { insertText("[drawing]"); }
    void drawPolyline(const RVNGPropertyList &) override { insertText("[drawing]"); }
    void drawPath(const RVNGPropertyList &) override { insertText("[drawing]"); }
    void drawConnector(const RVNGPropertyList &) override { insertText("[drawing]"); }
};

std::string withoutSpace(const char *s) {
    std::string out;
    for (; *s; ++s)
        if (*s != ' ' && *s != '\t' && *s != '\n' && *s != '\r') out += *s;
    return out;
}

// Whether every character of `part` is in `whole`, in order.
bool inOrder(const std::string &part, const std::string &whole) {
    size_t at = 0;
    for (char c : part) {
        at = whole.find(c, at);
        if (at == std::string::npos) return false;
        ++at;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    librevenge::RVNGStringStream input(data, static_cast<unsigned>(size));
    if (libwpd::WPDocument::isFileFormatSupported(&input) == libwpd::WPD_CONFIDENCE_NONE) return 0;
    input.seek(0, librevenge::RVNG_SEEK_SET);
    RtfWriter writer;
    libwpd::WPDResult result = libwpd::WPDocument::parse(&input, &writer, nullptr);
    std::string rtf = writer.head();
    rtf += writer.body();
    rtf += RtfWriter::tail();
    if (result != libwpd::WPD_OK) return 0;
    RtfText read = rtf_text(rtf);
    if (!read.ok) abort();
    librevenge::RVNGString text;
    TextWithPlaceholders reference(text);
    input.seek(0, librevenge::RVNG_SEEK_SET);
    if (libwpd::WPDocument::parse(&input, &reference, nullptr) != libwpd::WPD_OK) return 0;
    std::string expected = withoutSpace(text.cstr()), got = withoutSpace(read.text.c_str());
    // Left-page headers may repeat one for all pages: then the text need only
    // be there, in order.
    bool repeats = rtf.find("{\\headerl") != std::string::npos || rtf.find("{\\footerl") != std::string::npos;
    if (repeats ? !inOrder(expected, got) : expected != got) abort();
    return 0;
}
