// The example converter's text <-> RTF conversion, without Win32.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "textconv_core.h"

namespace {

// ---- Format test ------------------------------------------------------

TEST(FormatTest, TakesTextRefusesNulAndRtf) {
    auto is_text = [](const std::string &s) {
        return tc_is_plain_text(reinterpret_cast<const unsigned char *>(s.data()), s.size());
    };
    EXPECT_TRUE(is_text("Dear Sir,\r\n\tkind regards \xE9\xFC\r\n"));
    EXPECT_TRUE(is_text(""));
    EXPECT_TRUE(is_text("{\\rtx not rtf"));
    EXPECT_TRUE(is_text("{\\rt"));
    EXPECT_FALSE(is_text(std::string("text\0more", 9)));
    EXPECT_FALSE(is_text("{\\rtf1\\ansi hello}"));
    EXPECT_FALSE(is_text("\r\n  {\\rtf1 hello}"));
}

// ---- Text to RTF ------------------------------------------------------

struct Source {
    std::string data;
    size_t at = 0;
    size_t piece = 1024;  // bytes per read at most
    bool fail = false;
};

long read_source(void *ctx, unsigned char *buf, size_t cap) {
    Source *s = static_cast<Source *>(ctx);
    if (s->fail) return -1;
    size_t n = std::min({cap, s->piece, s->data.size() - s->at});
    memcpy(buf, s->data.data() + s->at, n);
    s->at += n;
    return static_cast<long>(n);
}

struct Sink {
    std::vector<std::pair<std::string, int>> chunks;
    size_t stop_at = SIZE_MAX;  // index of the call that answers `answer`
    long answer = 0;
    std::string joined() const {
        std::string all;
        for (auto &c : chunks) all += c.first;
        return all;
    }
};

long deliver(void *ctx, const char *b, size_t n, int percent) {
    Sink *s = static_cast<Sink *>(ctx);
    s->chunks.emplace_back(std::string(b, n), percent);
    return s->chunks.size() - 1 == s->stop_at ? s->answer : 0;
}

int to_rtf(const std::string &text, Sink *sink, size_t cap = 2048, Source *src_in = nullptr) {
    Source local;
    Source *src = src_in ? src_in : &local;
    if (!src_in) src->data = text;
    std::vector<char> chunk(cap);
    return tc_text_to_rtf(read_source, src, static_cast<long long>(src->data.size()), deliver, sink, chunk.data(),
                          cap);
}

const std::string HEADER =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fmodern\\fcharset0 Courier New;}}\r\n"
    "\\pard\\plain\\f0\\fs20 ";

TEST(TextToRtf, EscapesSpecialBytesAndMakesParagraphs) {
    Sink sink;
    ASSERT_EQ(to_rtf("a\\b{c}d\xE9\x01\tz\r\nl2\nl3\rl4", &sink), TC_OK);
    EXPECT_EQ(sink.joined(), HEADER +
                                 "a\\\\b\\{c\\}d\\'e9\\'01\\tab z\\par\r\n"
                                 "l2\\par\r\nl3\\par\r\nl4}\r\n");
    ASSERT_EQ(sink.chunks.size(), 1u);
    EXPECT_EQ(sink.chunks[0].second, 100);
}

TEST(TextToRtf, ChunksFitTheBufferAndPercentagesGrowTo100) {
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "line {" + std::to_string(i) + "}\r\n";
    Sink whole;
    ASSERT_EQ(to_rtf(text, &whole, 1 << 20), TC_OK);
    for (size_t cap : {1u, 7u, 2048u}) {
        Sink sink;
        ASSERT_EQ(to_rtf(text, &sink, cap), TC_OK) << cap;
        EXPECT_EQ(sink.joined(), whole.joined()) << cap;
        int last = 0;
        bool between = false;
        for (size_t i = 0; i < sink.chunks.size(); ++i) {
            EXPECT_GE(sink.chunks[i].first.size(), 1u);
            EXPECT_LE(sink.chunks[i].first.size(), cap);
            if (i + 1 < sink.chunks.size()) {
                EXPECT_EQ(sink.chunks[i].first.size(), cap);
            }
            EXPECT_GE(sink.chunks[i].second, last);
            between |= sink.chunks[i].second > 0 && sink.chunks[i].second < 100;
            last = sink.chunks[i].second;
        }
        EXPECT_TRUE(between) << cap;
        EXPECT_EQ(sink.chunks.back().second, 100);
    }
}

TEST(TextToRtf, StopsWhenTheHostSaysSo) {
    std::string text(10000, 'x');
    Sink stop;
    stop.stop_at = 1;
    stop.answer = 1;
    EXPECT_EQ(to_rtf(text, &stop), TC_ERR_STOPPED);
    EXPECT_EQ(stop.chunks.size(), 2u);

    // The host's own negative answer (a failed write) is passed on.
    Sink failed;
    failed.stop_at = 0;
    failed.answer = -4;
    EXPECT_EQ(to_rtf(text, &failed), -4);
    EXPECT_EQ(failed.chunks.size(), 1u);

    Source broken;
    broken.fail = true;
    Sink none;
    EXPECT_EQ(to_rtf("", &none, 2048, &broken), TC_ERR_READ);
}

TEST(TextToRtf, EmptyTextIsAnEmptyDocument) {
    Sink sink;
    ASSERT_EQ(to_rtf("", &sink), TC_OK);
    EXPECT_EQ(sink.joined(), HEADER + "}\r\n");
    EXPECT_EQ(sink.chunks.back().second, 100);
}

// ---- RTF to text ------------------------------------------------------

struct Decoded {
    int result;
    std::string text;
};

int collect(void *ctx, const char *b, size_t n) {
    auto *s = static_cast<std::string *>(ctx);
    if (s->size() > 1000000) return -1;
    s->append(b, n);
    return 0;
}

// Feeds the document in pieces of `piece` bytes.
Decoded decode(const std::string &rtf, size_t piece = 2048) {
    Decoded d{0, ""};
    tc_decoder dec;
    tc_decoder_init(&dec, collect, &d.text);
    for (size_t at = 0; at < rtf.size() && d.result == 0; at += piece) {
        size_t n = std::min(piece, rtf.size() - at);
        d.result = tc_decoder_feed(&dec, reinterpret_cast<const unsigned char *>(rtf.data() + at), n);
    }
    if (d.result == 0) d.result = tc_decoder_finish(&dec);
    return d;
}

TEST(RtfToText, RoundTripOfEveryByteInAnyPieces) {
    std::string text;
    for (int b = 1; b < 256; ++b) {
        if (b == '\r' || b == '\n') continue;
        text += static_cast<char>(b);
        if (b % 16 == 0) text += "\r\n";
    }
    text += "\r\n\r\nlast line without end";
    Sink sink;
    ASSERT_EQ(to_rtf(text, &sink), TC_OK);
    for (size_t piece : {1u, 3u, 2048u}) {
        Decoded d = decode(sink.joined(), piece);
        EXPECT_EQ(d.result, TC_OK) << piece;
        EXPECT_EQ(d.text, text) << piece;
    }
    // Lone LF and CR come back as CR LF.
    Sink lf;
    ASSERT_EQ(to_rtf("a\nb\rc\r\n", &lf), TC_OK);
    EXPECT_EQ(decode(lf.joined()).text, "a\r\nb\r\nc\r\n");
}

TEST(RtfToText, SkipsDestinationsThatAreNotText) {
    const std::string rtf =
        "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\froman Times;}{\\f1 Arial;}}"
        "{\\colortbl;\\red255\\green0\\blue0;}{\\stylesheet{\\s1 Heading;}}"
        "{\\info{\\title A title}{\\author Someone}}{\\*\\generator Writer 1.0;}"
        "{\\*\\unknowndest {nested {deeper}} text}"
        "{\\header page head}{\\pict\\wmetafile8 0102abcdef}"
        "{\\field{\\*\\fldinst HYPERLINK x}{\\fldrslt shown}}"
        "\\pard\\plain\\f0 Visible {\\b bold} text.\\par}";
    Decoded d = decode(rtf);
    EXPECT_EQ(d.result, TC_OK);
    EXPECT_EQ(d.text, "shownVisible bold text.\r\n");
}

TEST(RtfToText, ControlWordsSymbolsAndDelimiters) {
    // A blank after a control word belongs to it; other delimiters stay.
    EXPECT_EQ(decode("{\\rtf1 a\\par b\\line c\\tab d\\par\r\n1\\tab2 x}").text, "a\r\nb\r\nc\td\r\n1\tx");
    EXPECT_EQ(decode("{\\rtf1 \\{x\\}\\\\y\\'e9\\'C4\\~\\-\\_z}").text, "{x}\\y\xE9\xC4\xA0-z");
    // Backslash before a line end is a paragraph; plain line ends are not text.
    EXPECT_EQ(decode("{\\rtf1 one\\\r\ntwo\r\nthree}").text, "one\r\ntwothree");
    EXPECT_EQ(decode("{\\rtf1 \\lquote q\\rquote \\emdash\\bullet}").text, "\x91q\x92\x97\x95");
    // \bin data is passed over whatever it holds.
    const char binary[] = "{\\rtf1 a{\\*\\blob\\bin4 {}\\\0}b}";
    EXPECT_EQ(decode(std::string(binary, sizeof binary - 1)).text, "ab");
    EXPECT_EQ(decode("{\\rtf1 a\\bin3 }}}b}").text, "ab");
}

TEST(RtfToText, UnicodeWithFallbacks) {
    // Representable in code page 1252: the character, its fallback dropped.
    EXPECT_EQ(decode("{\\rtf1 \\u8364\\'80\\u233?x\\u-3913 ?}").text, "\x80\xE9x?");
    // Not representable: the fallback stands for it.
    EXPECT_EQ(decode("{\\rtf1 \\u20013?\\u1046 Z!}").text, "?Z!");
    // \ucN sets the fallback's length for the group.
    EXPECT_EQ(decode("{\\rtf1 {\\uc2\\u252 ue}\\u252 u.}").text, "\xFC\xFC.");
    EXPECT_EQ(decode("{\\rtf1 \\uc0\\u252 x}").text, "\xFCx");
    // A group's end cuts a fallback short.
    EXPECT_EQ(decode("{\\rtf1 {\\uc3\\u252 a}b}").text, "\xFC" "b");
}

TEST(RtfToText, MalformedDocumentsFail) {
    const char *cases[] = {
        "",
        "plain text",
        "{\\rtf1 never closed",
        "{\\rtf1 cut in a word\\pa",
        "{\\rtf1 bad hex \\'zz}",
        "{\\rtf1 cut hex \\'4",
        "{\\ansi not rtf}",
        "{x\\rtf1}",
        "}{\\rtf1 }",
        "{\\rtf1 \\bin-5 x}",
        "{\\rtf1 \\bin100 short}",
        "{\\rtf1 \\averyveryveryveryverylongcontrolwordname x}",
        "{\\rtf1 \\fs123456789012 x}",
    };
    for (const char *c : cases) {
        Decoded d = decode(c, 1);
        EXPECT_EQ(d.result, TC_ERR_INVALID_DOC) << c;
    }
    EXPECT_EQ(decode("{\\rtf1" + std::string(300, '{') + std::string(300, '}') + "}").result, TC_ERR_INVALID_DOC);
    EXPECT_EQ(decode("{\\rtf1" + std::string(200, '{') + "deep" + std::string(200, '}') + "}").text, "deep");
    // Whatever follows the document's end is not read.
    EXPECT_EQ(decode("{\\rtf1 done}}}\\'zz junk").text, "done");
}

TEST(RtfToText, DamagedDocumentsFailCleanly) {
    // Bytes of a real document flipped, inserted and removed: the reader
    // either reads it or calls it malformed, and never reads out of bounds.
    const std::string base =
        "{\\rtf1\\ansi\\uc1{\\fonttbl{\\f0 Arial;}}{\\*\\gen x;}a\\'e9\\u8364\\'80{\\b b}\\bin2 {}\\par\\tab c}";
    const char alphabet[] = "{}\\'*0123456789-abfinpruxz \r\n\x80";
    unsigned seed = 20240607;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 16;
    };
    int malformed = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string doc = base;
        for (unsigned edits = 1 + next() % 3; edits > 0; --edits) {
            size_t at = next() % doc.size();
            char c = alphabet[next() % (sizeof alphabet - 1)];
            switch (next() % 3) {
            case 0: doc[at] = c; break;
            case 1: doc.insert(doc.begin() + at, c); break;
            default: doc.erase(at, 1); break;
            }
        }
        Decoded d = decode(doc, 1 + next() % 8);
        ASSERT_TRUE(d.result == TC_OK || d.result == TC_ERR_INVALID_DOC) << doc;
        malformed += d.result == TC_ERR_INVALID_DOC;
    }
    EXPECT_GT(malformed, 100);
}

TEST(RtfToText, WriteFailureIsReported) {
    tc_decoder dec;
    tc_decoder_init(&dec, [](void *, const char *, size_t) { return -1; }, nullptr);
    std::string rtf = "{\\rtf1 " + std::string(5000, 'a') + "}";
    int rc = tc_decoder_feed(&dec, reinterpret_cast<const unsigned char *>(rtf.data()), rtf.size());
    if (rc == TC_OK) rc = tc_decoder_finish(&dec);
    EXPECT_EQ(rc, TC_ERR_WRITE);
}

TEST(RtfToText, UnicodeToCodePage1252) {
    EXPECT_EQ(tc_cp1252_from_unicode('A'), 'A');
    EXPECT_EQ(tc_cp1252_from_unicode(0xFC), 0xFC);
    EXPECT_EQ(tc_cp1252_from_unicode(0x20AC), 0x80);
    EXPECT_EQ(tc_cp1252_from_unicode(0x0178), 0x9F);
    EXPECT_EQ(tc_cp1252_from_unicode(0x81), -1);
    EXPECT_EQ(tc_cp1252_from_unicode(0x4E2D), -1);
}

}  // namespace
