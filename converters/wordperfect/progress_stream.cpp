#include "progress_stream.h"

ProgressStream::ProgressStream(librevenge::RVNGInputStream *inner, bool owned, ParseProgress &progress)
    : inner_(inner), owned_(owned), progress_(progress) {
    // The length, by seeking to the end and back: the interface has no size.
    long at = inner_->tell();
    if (inner_->seek(0, librevenge::RVNG_SEEK_END) == 0) size_ = inner_->tell();
    inner_->seek(at, librevenge::RVNG_SEEK_SET);
}

ProgressStream::~ProgressStream() {
    if (owned_) delete inner_;
}

librevenge::RVNGInputStream *ProgressStream::wrap(librevenge::RVNGInputStream *sub) {
    if (!sub) return nullptr;
    std::unique_ptr<librevenge::RVNGInputStream> guard(sub);
    ProgressStream *wrapped = new ProgressStream(sub, true, progress_);
    guard.release();
    return wrapped;
}

librevenge::RVNGInputStream *ProgressStream::getSubStreamByName(const char *name) {
    return wrap(inner_->getSubStreamByName(name));
}

librevenge::RVNGInputStream *ProgressStream::getSubStreamById(unsigned id) {
    return wrap(inner_->getSubStreamById(id));
}

const unsigned char *ProgressStream::read(unsigned long numBytes, unsigned long &numBytesRead) {
    numBytesRead = 0;
    if (stopped_) return nullptr;
    const unsigned char *data = inner_->read(numBytes, numBytesRead);
    if (size_ > 0 && !progress_.read_up_to(static_cast<double>(inner_->tell()) / static_cast<double>(size_))) {
        stopped_ = true;
        numBytesRead = 0;
        return nullptr;
    }
    return data;
}

int ProgressStream::seek(long offset, librevenge::RVNG_SEEK_TYPE seekType) {
    if (stopped_) return -1;
    return inner_->seek(offset, seekType);
}
