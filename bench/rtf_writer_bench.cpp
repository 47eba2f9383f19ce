// rtf_writer_bench ROUNDS REPEAT FILE...: the WordPerfect converter's core
// natively, in one process. Each round parses every FILE REPEAT times with
// libwpd into an interface that does nothing (libwpd alone), then the same
// into the RTF writer (the whole RTF made, head included), the two
// alternating document by document. Times are the thread's CPU time, which
// other jobs on a shared machine disturb far less than wall time; the
// medians over ROUNDS are printed as
//   libwpd SECONDS
//   writer SECONDS
//   share  (writer - libwpd) / libwpd
#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <libwpd/libwpd.h>
#include <librevenge-stream/librevenge-stream.h>

#include "rtf_writer.h"

namespace {

using librevenge::RVNGPropertyList;

class NullInterface : public librevenge::RVNGTextInterface {
public:
    void setDocumentMetaData(const RVNGPropertyList &) override {}
    void startDocument(const RVNGPropertyList &) override {}
    void endDocument() override {}
    void definePageStyle(const RVNGPropertyList &) override {}
    void defineEmbeddedFont(const RVNGPropertyList &) override {}
    void openPageSpan(const RVNGPropertyList &) override {}
    void closePageSpan() override {}
    void openHeader(const RVNGPropertyList &) override {}
    void closeHeader() override {}
    void openFooter(const RVNGPropertyList &) override {}
    void closeFooter() override {}
    void defineParagraphStyle(const RVNGPropertyList &) override {}
    void openParagraph(const RVNGPropertyList &) override {}
    void closeParagraph() override {}
    void defineCharacterStyle(const RVNGPropertyList &) override {}
    void openSpan(const RVNGPropertyList &) override {}
    void closeSpan() override {}
    void openLink(const RVNGPropertyList &) override {}
    void closeLink() override {}
    void defineSectionStyle(const RVNGPropertyList &) override {}
    void openSection(const RVNGPropertyList &) override {}
    void closeSection() override {}
    void insertTab() override {}
    void insertSpace() override {}
    void insertText(const librevenge::RVNGString &) override {}
    void insertLineBreak() override {}
    void insertField(const RVNGPropertyList &) override {}
    void openOrderedListLevel(const RVNGPropertyList &) override {}
    void openUnorderedListLevel(const RVNGPropertyList &) override {}
    void closeOrderedListLevel() override {}
    void closeUnorderedListLevel() override {}
    void openListElement(const RVNGPropertyList &) override {}
    void closeListElement() override {}
    void openFootnote(const RVNGPropertyList &) override {}
    void closeFootnote() override {}
    void openEndnote(const RVNGPropertyList &) override {}
    void closeEndnote() override {}
    void openComment(const RVNGPropertyList &) override {}
    void closeComment() override {}
    void openTextBox(const RVNGPropertyList &) override {}
    void closeTextBox() override {}
    void openTable(const RVNGPropertyList &) override {}
    void openTableRow(const RVNGPropertyList &) override {}
    void closeTableRow() override {}
    void openTableCell(const RVNGPropertyList &) override {}
    void closeTableCell() override {}
    void insertCoveredTableCell(const RVNGPropertyList &) override {}
    void closeTable() override {}
    void openFrame(const RVNGPropertyList &) override {}
    void closeFrame() override {}
    void insertBinaryObject(const RVNGPropertyList &) override {}
    void insertEquation(const RVNGPropertyList &) override {}
    void openGroup(const RVNGPropertyList &) override {}
    void closeGroup() override {}
    void defineGraphicStyle(const RVNGPropertyList &) override {}
    void drawRectangle(const RVNGPropertyList &) override {}
    void drawEllipse(const RVNGPropertyList &) override {}
    void drawPolygon(const RVNGPropertyList &) override {}
    void drawPolyline(const RVNGPropertyList &) override {}
    void drawPath(const RVNGPropertyList &) override {}
    void drawConnector(const RVNGPropertyList &) override {}
};

size_t sink = 0;  // keeps the RTF from being optimised away

bool parse(const std::string &doc, bool write) {
    librevenge::RVNGStringStream input(reinterpret_cast<const unsigned char *>(doc.data()),
                                       static_cast<unsigned>(doc.size()));
    if (write) {
        RtfWriter writer;
        if (libwpd::WPDocument::parse(&input, &writer, nullptr) != libwpd::WPD_OK) return false;
        sink += writer.head().size() + writer.body().size();
        return true;
    }
    NullInterface none;
    return libwpd::WPDocument::parse(&input, &none, nullptr) == libwpd::WPD_OK;
}

double cpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: rtf_writer_bench ROUNDS REPEAT FILE...\n");
        return 2;
    }
    int rounds = std::atoi(argv[1]), repeat = std::atoi(argv[2]);
    std::vector<std::string> docs;
    for (int i = 3; i < argc; ++i) {
        std::FILE *f = std::fopen(argv[i], "rb");
        if (!f) return 2;
        std::string d;
        char buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) d.append(buf, n);
        std::fclose(f);
        docs.push_back(d);
    }
    std::vector<double> times[2];
    for (int r = 0; r < rounds; ++r) {
        double spent[2] = {0, 0};
        for (int k = 0; k < repeat; ++k)
            for (const std::string &d : docs)
                for (int write = 0; write < 2; ++write) {
                    double start = cpuSeconds();
                    if (!parse(d, write != 0)) return 1;
                    spent[write] += cpuSeconds() - start;
                }
        times[0].push_back(spent[0]);
        times[1].push_back(spent[1]);
    }
    double alone = median(times[0]), writer = median(times[1]);
    std::printf("libwpd %.4f\nwriter %.4f\nshare %.3f\nbytes %zu\n", alone, writer, (writer - alone) / alone, sink);
    return 0;
}
