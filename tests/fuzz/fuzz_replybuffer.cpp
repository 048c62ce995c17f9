// Fuzzes the reply buffer. The input holds the capture's set-up and then the unit's bytes:
//   byte 0      how many prompt characters there are: its value modulo 3 ('1' is one)
//   byte 1      the guard: byte - '0' below 200 as it is, above in steps of 25 up to 1375
//   next bytes  the prompt characters
//   the rest    the deliveries, separated by '|'; a delivery "*Nbytes" is "bytes" repeated
//               (N + 1) * 100 times up to 2500 bytes, so short inputs can flood the buffer
// A new capture starts (clear) at the start and after every prompt that ends one.
//
// Every delivery must end the capture exactly when the bytes so far hold a prompt character
// at least 'guard' bytes from the capture's start, however they were split. The text must
// never exceed 1000 bytes nor hold a NUL, must be captured bytes from before the prompt that
// ended the capture (never that prompt), and must reach up to that prompt (or the newest byte
// while none came) unless a NUL cut it. A capture that never filled the buffer must keep all
// its bytes.
#include "FuzzCheck.h"

#include "link/ReplyBuffer.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char DeliverySeparator = '|';
constexpr char RepeatMark = '*';
constexpr int RepeatStep = 100;
// Enough for one delivery to cross the whole buffer twice.
constexpr qsizetype MaxRepeated = 2 * ReplyBuffer::Size + ReplyBuffer::Size / 2;
// The text always comes from the bytes since the buffer last started again at its front, at
// most Size of them, so older ones need not be kept for the checks; a long flood stays cheap.
constexpr qsizetype KeptCaptureBytes = 2 * ReplyBuffer::Size;

// The bytes of the capture so far, the oldest possibly dropped.
struct Capture
{
    QByteArray recent;
    qint64 dropped = 0; // bytes of the capture before 'recent'

    qint64 size() const { return dropped + recent.size(); }
    void append(QByteArrayView bytes)
    {
        recent.append(bytes);
        if (recent.size() > KeptCaptureBytes) {
            const qsizetype excess = recent.size() - KeptCaptureBytes;
            recent.remove(0, excess);
            dropped += excess;
        }
    }
};

struct Setup
{
    QByteArray prompts;
    int guard = 0;
    QByteArrayView deliveries;
};

std::optional<Setup> setupOf(QByteArrayView input)
{
    if (input.size() < 2)
        return std::nullopt;
    Setup setup;
    const qsizetype count = uchar(input.at(0)) % 3;
    const int code = uchar(input.at(1) - '0');
    setup.guard = code < 200 ? code : (code - 200) * 25;
    if (input.size() < 2 + count)
        return std::nullopt;
    setup.prompts = input.sliced(2, count).toByteArray();
    setup.deliveries = input.sliced(2 + count);
    return setup;
}

QByteArray deliveryOf(QByteArrayView part)
{
    if (part.size() < 2 || part.front() != RepeatMark || part.at(1) < '0' || part.at(1) > '9')
        return part.toByteArray();
    const QByteArrayView bytes = part.sliced(2);
    if (bytes.isEmpty())
        return {};
    const qsizetype times = std::min(qsizetype(part.at(1) - '0' + 1) * RepeatStep,
                                     std::max(MaxRepeated / bytes.size(), qsizetype(1)));
    return bytes.toByteArray().repeated(times);
}

// Where in the delivery the capture first meets a prompt character at or past the guard;
// -1 when it does not.
qsizetype promptPosition(const Capture &captured, QByteArrayView delivery, const Setup &setup)
{
    for (qsizetype index = 0; index < delivery.size(); ++index) {
        if (captured.size() + index >= setup.guard && setup.prompts.contains(delivery.at(index)))
            return index;
    }
    return -1;
}

// True when 'text' is 'captured' bytes that end at the end of 'captured' or right before a
// NUL in it.
bool endsAtEndOrNul(QByteArrayView text, QByteArrayView captured)
{
    if (text.isEmpty())
        return true;
    if (captured.isEmpty())
        return false;
    const char *const bytes = captured.data();
    qsizetype runStart = 0; // where the run of bytes without NUL that ends at 'end' begins
    for (;;) {
        const void *nul = std::memchr(bytes + runStart, '\0', size_t(captured.size() - runStart));
        const qsizetype end = nul ? static_cast<const char *>(nul) - bytes : captured.size();
        if (end - runStart >= text.size() &&
            std::memcmp(bytes + end - text.size(), text.data(), size_t(text.size())) == 0)
            return true;
        if (!nul)
            return false;
        runStart = end + 1;
    }
}

// 'capture' holds the capture's bytes up to (not including) the prompt that ended it, or all
// of them while none has; 'delivered' counts every byte handed over in this capture.
void checkText(const ReplyBuffer &buffer, const Capture &capture, qint64 delivered)
{
    const QByteArray &captured = capture.recent;
    const QByteArray text = buffer.text();
    FUZZ_CHECK(text.size() <= ReplyBuffer::Size);
    FUZZ_CHECK(!text.contains('\0'));
    FUZZ_CHECK(buffer.fillPosition() >= 0 && buffer.fillPosition() <= ReplyBuffer::Size);
    FUZZ_CHECK(endsAtEndOrNul(text, captured));
    // Never more than Size - 1 bytes delivered: nothing can have wrapped.
    if (delivered < ReplyBuffer::Size) {
        FUZZ_CHECK(capture.dropped == 0);
        const qsizetype nul = captured.indexOf('\0');
        FUZZ_CHECK(text == (nul < 0 ? captured : captured.first(nul)));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::optional<Setup> setup = setupOf(fuzzInput(data, size));
    if (!setup)
        return 0;
    ReplyBuffer buffer;
    buffer.clear();
    FUZZ_CHECK(buffer.text().isEmpty());
    Capture captured;
    qint64 delivered = 0;
    for (const QByteArrayView part : splitParts(setup->deliveries, DeliverySeparator)) {
        const QByteArray delivery = deliveryOf(part);
        const qsizetype prompt = promptPosition(captured, delivery, *setup);
        const bool ended = buffer.deliver(delivery, setup->prompts, setup->guard);
        FUZZ_CHECK(ended == (prompt >= 0));
        delivered += delivery.size();
        if (ended)
            captured.append(delivery.first(prompt));
        else
            captured.append(delivery);
        checkText(buffer, captured, delivered);
        if (ended) {
            buffer.clear();
            FUZZ_CHECK(buffer.text().isEmpty() && buffer.fillPosition() == 0);
            captured = Capture();
            delivered = 0;
        }
    }
    return 0;
}
