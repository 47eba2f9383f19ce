// wpd2rtf FILE: the document through libwpd and the RTF writer, RTF on
// standard output. Exit 0 converted, 1 not a document libwpd reads, 2 damaged
// or otherwise refused by libwpd's parser, 3 usage or file error.
#include <cstdio>

#include <libwpd/libwpd.h>
#include <librevenge-stream/librevenge-stream.h>

#include "rtf_writer.h"

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: wpd2rtf FILE\n");
        return 3;
    }
    librevenge::RVNGFileStream input(argv[1]);
    if (libwpd::WPDocument::isFileFormatSupported(&input) == libwpd::WPD_CONFIDENCE_NONE) return 1;
    RtfWriter writer;
    if (libwpd::WPDocument::parse(&input, &writer, nullptr) != libwpd::WPD_OK) return 2;
    std::string head = writer.head();
    std::fwrite(head.data(), 1, head.size(), stdout);
    std::fwrite(writer.body().data(), 1, writer.body().size(), stdout);
    std::fputs(RtfWriter::tail(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 3;
}
