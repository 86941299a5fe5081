#include "pipeline.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace voved::tool {

namespace {

// A ring holds about this many bytes of lines (a few lines of a wide
// picture, so that streaming stays within a few megabytes), at least
// kMinSlots and at most kMaxSlots lines. A waiting side is woken once half
// the ring is ready for it (or at the end), not for every line: each wake
// is a switch between threads.
constexpr size_t kRingBytes = size_t{192} << 10;
constexpr size_t kMinSlots = 4;
constexpr size_t kMaxSlots = 16;
constexpr size_t kWakeFraction = 2;

// A bounded queue of lines between one producer thread and one consumer
// thread. The producer fills the slot Empty() gives and calls Filled(); the
// consumer reads the slot Full() gives and calls Emptied(). A failure on
// either side is kept and thrown to the other side; Stop() ends both sides
// quietly.
class LineRing {
  public:
    // A ring of its own.
    explicit LineRing(size_t lineBytes)
        : LineRing(lineBytes,
                   std::clamp(kRingBytes / std::max<size_t>(lineBytes, 1), kMinSlots, kMaxSlots),
                   nullptr) {}
    // The caller's `count` lines at `lines`, each filled once, in order.
    LineRing(size_t lineBytes, size_t count, uint8_t* lines)
        : lineBytes_(lineBytes), slots_(count), wake_(std::min(slots_, kMaxSlots) / kWakeFraction),
          bytes_(lines == nullptr ? slots_ * lineBytes : 0),
          base_(lines == nullptr ? bytes_.data() : lines) {}

    // Producer: the slot for the next line; null once the consumer stopped.
    uint8_t* Empty() {
        std::unique_lock<std::mutex> lock(mutex_);
        if (produced_ - consumed_ == slots_ && !stopped_) {
            producerWaits_ = true;
            changed_.wait(lock, [this] { return produced_ - consumed_ < slots_ || stopped_; });
            producerWaits_ = false;
        }
        if (stopped_) {
            if (failure_) {
                std::rethrow_exception(failure_);
            }
            return nullptr;
        }
        return Slot(produced_);
    }

    void Filled() {
        std::lock_guard<std::mutex> lock(mutex_);
        ++produced_;
        if (consumerWaits_ && produced_ - consumed_ >= wake_) {
            changed_.notify_all();
        }
    }

    // Producer: no more lines.
    void Close() {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        changed_.notify_all();
    }

    // Consumer: the next line; null at the end, or once stopped. Lines
    // filled before a failure are handed out before the failure is thrown.
    const uint8_t* Full() {
        std::unique_lock<std::mutex> lock(mutex_);
        if (produced_ == consumed_ && !closed_ && !stopped_) {
            consumerWaits_ = true;
            changed_.wait(lock, [this] { return produced_ > consumed_ || closed_ || stopped_; });
            consumerWaits_ = false;
        }
        if (failure_ && produced_ == consumed_) {
            std::rethrow_exception(failure_);
        }
        if ((stopped_ && !failure_) || produced_ == consumed_) {
            return nullptr;
        }
        return Slot(consumed_);
    }

    void Emptied() {
        std::lock_guard<std::mutex> lock(mutex_);
        ++consumed_;
        if (producerWaits_ && slots_ - (produced_ - consumed_) >= wake_) {
            changed_.notify_all();
        }
    }

    // Either side: ends the exchange; `failure`, when set, is thrown to the
    // other side.
    void Stop(std::exception_ptr failure = nullptr) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!stopped_) {
            failure_ = std::move(failure);
        }
        stopped_ = true;
        changed_.notify_all();
    }

  private:
    uint8_t* Slot(uint64_t line) { return base_ + (line % slots_) * lineBytes_; }

    const size_t lineBytes_;
    const size_t slots_;
    const size_t wake_;
    std::vector<uint8_t> bytes_;
    uint8_t* base_;
    std::mutex mutex_;
    std::condition_variable changed_;
    uint64_t produced_ = 0;
    uint64_t consumed_ = 0;
    bool producerWaits_ = false;
    bool consumerWaits_ = false;
    bool closed_ = false;
    bool stopped_ = false;
    std::exception_ptr failure_;
};

class AheadReader : public LineReader {
  public:
    explicit AheadReader(std::unique_ptr<LineReader> reader)
        : reader_(std::move(reader)),
          lineBytes_(size_t{reader_->Info().width} *
                     static_cast<size_t>(LineChannels(reader_->Info().kind))) {
        info_ = reader_->Info();
    }
    ~AheadReader() override {
        if (decoder_.joinable()) {
            ring_->Stop();
            decoder_.join();
        }
    }
    AheadReader(const AheadReader&) = delete;
    AheadReader& operator=(const AheadReader&) = delete;

    // Starts decoding, into `lines` when not null (DecodeInto), else into a
    // ring of its own; `afterDecoding` runs on the decoder's thread after the
    // last line.
    void Start(uint8_t* lines, std::function<void()> afterDecoding = {}) {
        if (ring_) {
            return;
        }
        afterDecoding_ = std::move(afterDecoding);
        ring_ = lines == nullptr ? std::make_unique<LineRing>(lineBytes_)
                                 : std::make_unique<LineRing>(lineBytes_, info_.height, lines);
        decoder_ = std::thread([this] { Decode(); });
    }

    void ReadLine(uint8_t* line) override {
        Start(nullptr);
        const uint8_t* decoded = ring_->Full();
        if (decoded == nullptr) {
            throw ImageError("read past the last line of the picture");
        }
        if (decoded != line) {
            std::memcpy(line, decoded, lineBytes_);
        }
        ring_->Emptied();
    }

  private:
    void Decode() {
        try {
            for (uint32_t y = 0; y < info_.height; ++y) {
                uint8_t* slot = ring_->Empty();
                if (slot == nullptr) {
                    return;
                }
                reader_->ReadLine(slot);
                ring_->Filled();
            }
            ring_->Close();
        } catch (...) {
            ring_->Stop(std::current_exception());
            return;
        }
        if (afterDecoding_) {
            afterDecoding_();
        }
    }

    std::unique_ptr<LineReader> reader_;
    size_t lineBytes_;
    std::unique_ptr<LineRing> ring_;
    std::function<void()> afterDecoding_;
    std::thread decoder_;
};

class BehindWriter : public LineWriter {
  public:
    BehindWriter(std::unique_ptr<LineWriter> writer, size_t lineBytes, bool linesStay)
        : writer_(std::move(writer)), lineBytes_(lineBytes), linesStay_(linesStay),
          ring_(linesStay ? sizeof(const uint8_t*) : lineBytes) {
        encoder_ = std::thread([this] { Encode(); });
    }
    ~BehindWriter() override {
        ring_.Stop();
        Join();
    }
    BehindWriter(const BehindWriter&) = delete;
    BehindWriter& operator=(const BehindWriter&) = delete;

    void WriteLine(const uint8_t* line) override {
        uint8_t* slot = ring_.Empty();
        if (slot == nullptr) {
            throw ImageError("write after the end of the picture");
        }
        if (linesStay_) {
            std::memcpy(slot, &line, sizeof line);
        } else {
            std::memcpy(slot, line, lineBytes_);
        }
        ring_.Filled();
    }

    void Finish() override {
        ring_.Close();
        Join();
        if (failure_) {
            std::rethrow_exception(failure_);
        }
        writer_->Finish();
    }

  private:
    void Encode() {
        try {
            for (const uint8_t* slot = ring_.Full(); slot != nullptr; slot = ring_.Full()) {
                const uint8_t* line = slot;
                if (linesStay_) {
                    std::memcpy(&line, slot, sizeof line);
                }
                writer_->WriteLine(line);
                ring_.Emptied();
            }
        } catch (...) {
            failure_ = std::current_exception();
            ring_.Stop(failure_);
        }
    }

    void Join() {
        if (encoder_.joinable()) {
            encoder_.join();
        }
    }

    std::unique_ptr<LineWriter> writer_;
    size_t lineBytes_;
    bool linesStay_;
    LineRing ring_;
    std::exception_ptr failure_;  // written by the encoder, read after joining it
    std::thread encoder_;
};

}  // namespace

bool PipelineThreads() {
    const char* serial = std::getenv("VOVED_SERIAL");
    return serial == nullptr || std::strcmp(serial, "1") != 0;
}

std::unique_ptr<LineReader> ReadAhead(std::unique_ptr<LineReader> reader) {
    if (!PipelineThreads()) {
        return reader;
    }
    return std::make_unique<AheadReader>(std::move(reader));
}

bool DecodeInto(LineReader& reader, uint8_t* lines, std::function<void()> afterLastLine) {
    auto* ahead = dynamic_cast<AheadReader*>(&reader);
    if (ahead == nullptr) {
        return false;
    }
    ahead->Start(lines, std::move(afterLastLine));
    return true;
}

std::unique_ptr<LineWriter> WriteBehind(std::unique_ptr<LineWriter> writer, size_t lineBytes,
                                        bool linesStay) {
    if (!PipelineThreads()) {
        return writer;
    }
    return std::make_unique<BehindWriter>(std::move(writer), lineBytes, linesStay);
}

}  // namespace voved::tool
