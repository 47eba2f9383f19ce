#include "wpd_import.h"

#include <libwpd/libwpd.h>
#include <librevenge-stream/librevenge-stream.h>

#include <cstring>
#include <new>

#include "progress_stream.h"
#include "rtf_writer.h"
#include "wordperfect_results.h"

volatile bool g_wpd_allocation_failed = false;

namespace {

// Parsing is most of the work: it takes progress to 90 %, delivery the rest.
const int PARSE_SHARE = 90;

class HostProgress : public ParseProgress {
  public:
    explicit HostProgress(ImportHost &host) : host_(host) {}
    bool read_up_to(double share) override {
        if (answer_ != 0) return false;
        int percent = static_cast<int>(share * PARSE_SHARE);
        if (percent > PARSE_SHARE) percent = PARSE_SHARE;
        if (percent <= shown_) return true;
        shown_ = percent;
        answer_ = host_.progress(percent);
        return answer_ == 0;
    }
    long answer() const { return answer_; }

  private:
    ImportHost &host_;
    int shown_ = -1;
    long answer_ = 0;
};

// Delivers one part of the RTF in chunks; progress counts all parts.
class Delivery {
  public:
    Delivery(ImportHost &host, size_t total) : host_(host), total_(total ? total : 1) {}
    long send(const char *bytes, size_t size) {
        size_t cap = host_.chunk_size();
        if (cap == 0) cap = 1;
        while (size > 0) {
            size_t n = size < cap ? size : cap;
            sent_ += n;
            int percent = PARSE_SHARE + static_cast<int>((100 - PARSE_SHARE) * (double)sent_ / (double)total_);
            long answer = host_.deliver(bytes, n, percent);
            if (answer != 0) return answer;
            bytes += n;
            size -= n;
        }
        return 0;
    }

  private:
    ImportHost &host_;
    size_t total_;
    size_t sent_ = 0;
};

int parse_result(libwpd::WPDResult result) {
    switch (result) {
    case libwpd::WPD_OK: return WP_RESULT_OK;
    case libwpd::WPD_UNSUPPORTED_ENCRYPTION_ERROR:
    case libwpd::WPD_PASSWORD_MISSMATCH_ERROR: return WP_RESULT_PASSWORD;
    default: return WP_RESULT_DAMAGED;
    }
}

}  // namespace

int wpd_answer_result(long answer) {
    if (answer == 0) return 0;
    short low = static_cast<short>(answer & 0xFFFF);
    return low < 0 ? static_cast<int>(low) : static_cast<int>(WP_RESULT_STOPPED);
}

bool wpd_windows_text(const unsigned char *data, size_t size) {
    bool crlf = false;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] >= 0xC0) return false;
        if (data[i] == '\r' && i + 1 < size && data[i + 1] == '\n') crlf = true;
    }
    return crlf;
}

bool wpd_recognises(const unsigned char *data, size_t size) {
    if (size == 0 || wpd_windows_text(data, size)) return false;
    librevenge::RVNGStringStream stream(data, static_cast<unsigned>(size));
    return libwpd::WPDocument::isFileFormatSupported(&stream) != libwpd::WPD_CONFIDENCE_NONE;
}

int wpd_import(std::string &source, ImportHost &host) {
    g_wpd_allocation_failed = false;
    try {
        if (source.empty() ||
            wpd_windows_text(reinterpret_cast<const unsigned char *>(source.data()), source.size()))
            return WP_RESULT_DAMAGED;
        librevenge::RVNGStringStream stream(reinterpret_cast<const unsigned char *>(source.data()),
                                            static_cast<unsigned>(source.size()));
        std::string().swap(source);  // the stream holds its own copy
        HostProgress progress(host);
        ProgressStream input(&stream, false, progress);

        libwpd::WPDConfidence confidence = libwpd::WPDocument::isFileFormatSupported(&input);
        if (progress.answer() != 0) return wpd_answer_result(progress.answer());
        if (g_wpd_allocation_failed) return WP_RESULT_NO_MEMORY;
        if (confidence == libwpd::WPD_CONFIDENCE_SUPPORTED_ENCRYPTION ||
            confidence == libwpd::WPD_CONFIDENCE_UNSUPPORTED_ENCRYPTION)
            return WP_RESULT_PASSWORD;
        if (confidence == libwpd::WPD_CONFIDENCE_NONE) return WP_RESULT_DAMAGED;

        input.seek(0, librevenge::RVNG_SEEK_SET);
        RtfWriter writer;
        libwpd::WPDResult parsed = libwpd::WPDocument::parse(&input, &writer, nullptr);
        if (progress.answer() != 0) return wpd_answer_result(progress.answer());
        if (g_wpd_allocation_failed) return WP_RESULT_NO_MEMORY;
        int result = parse_result(parsed);
        if (result != WP_RESULT_OK) return result;

        // The tables in the head are known only now: head, then the body
        // as it was written (not copied), then the tail.
        const std::string head = writer.head();
        std::string &body = writer.body();
        const char *tail = RtfWriter::tail();
        size_t tail_size = std::strlen(tail);
        Delivery delivery(host, head.size() + body.size() + tail_size);
        long answer = delivery.send(head.data(), head.size());
        if (answer == 0) answer = delivery.send(body.data(), body.size());
        if (answer == 0) answer = delivery.send(tail, tail_size);
        return wpd_answer_result(answer);
    } catch (const std::bad_alloc &) {
        return WP_RESULT_NO_MEMORY;
    } catch (...) {
        return WP_RESULT_INTERNAL;
    }
}
