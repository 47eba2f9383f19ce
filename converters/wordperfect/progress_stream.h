// An input stream that passes everything on to another one and reports how
// far reading has got, so that progress moves while libwpd parses. Once the
// host has asked to stop, it reads as if the data had ended, so parsing ends
// quickly.
#pragma once

#include <librevenge-stream/librevenge-stream.h>

#include <memory>

class ParseProgress {
  public:
    virtual ~ParseProgress() = default;
    // The share read so far, 0..1; false once reading must stop.
    virtual bool read_up_to(double share) = 0;
};

class ProgressStream : public librevenge::RVNGInputStream {
  public:
    // inner is owned when owned is true (sub-streams handed out by an inner
    // stream belong to whoever asked for them).
    ProgressStream(librevenge::RVNGInputStream *inner, bool owned, ParseProgress &progress);
    ~ProgressStream() override;
    ProgressStream(const ProgressStream &) = delete;
    ProgressStream &operator=(const ProgressStream &) = delete;

    bool isStructured() override { return inner_->isStructured(); }
    unsigned subStreamCount() override { return inner_->subStreamCount(); }
    const char *subStreamName(unsigned id) override { return inner_->subStreamName(id); }
    bool existsSubStream(const char *name) override { return inner_->existsSubStream(name); }
    librevenge::RVNGInputStream *getSubStreamByName(const char *name) override;
    librevenge::RVNGInputStream *getSubStreamById(unsigned id) override;
    const unsigned char *read(unsigned long numBytes, unsigned long &numBytesRead) override;
    int seek(long offset, librevenge::RVNG_SEEK_TYPE seekType) override;
    long tell() override { return inner_->tell(); }
    bool isEnd() override { return stopped_ || inner_->isEnd(); }

  private:
    librevenge::RVNGInputStream *wrap(librevenge::RVNGInputStream *sub);

    librevenge::RVNGInputStream *inner_;
    bool owned_;
    ParseProgress &progress_;
    long size_ = 0;
    bool stopped_ = false;
};
