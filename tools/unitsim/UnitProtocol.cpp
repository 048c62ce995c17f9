#include "UnitProtocol.h"

#include <algorithm>
#include <utility>

namespace {

constexpr int FillerLineLength = 64; // characters per filler line, CR LF included
const QByteArray FillerAlphabet = "abcdefghijklmnopqrstuvwxyz0123456789 ";

// Digits only: a sign, blanks or a hex prefix make the size unreadable.
std::optional<qint64> parseUploadSize(const QByteArray &field)
{
    if (field.isEmpty() || field.size() > 12)
        return std::nullopt;
    if (!std::all_of(field.begin(), field.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const qint64 size = field.toLongLong();
    if (size > UnitProtocol::MaxUploadSize)
        return std::nullopt;
    return size;
}

bool isBlank(char byte)
{
    return byte == ' ' || byte == '\t';
}

// The text from the start of the given field (0-based) to the end of the line,
// blanks inside it kept as they were.
QByteArray textFromField(const QByteArray &line, int fieldIndex)
{
    qsizetype position = 0;
    for (int field = 0;; ++field) {
        while (position < line.size() && isBlank(line.at(position)))
            ++position;
        if (field == fieldIndex || position >= line.size())
            break;
        while (position < line.size() && !isBlank(line.at(position)))
            ++position;
    }
    return line.mid(position);
}

// The sum as the sender wrote its own: lower-case hex, as wide as the header's field
// (up to four digits), so a matching sum reads back exactly as it was sent.
QByteArray formatSum(quint16 sum, qsizetype expectedWidth)
{
    const int width = int(std::clamp<qsizetype>(expectedWidth, 1, 4));
    return QByteArray::number(sum, 16).rightJustified(width, '0');
}

} // namespace

UnitProtocol::UnitProtocol(const UnitSettings &settings, quint32 randomSeed)
    : settings_(settings), random_(randomSeed)
{
}

char UnitProtocol::currentPrompt() const
{
    if (settings_.onlyPrompt)
        return *settings_.onlyPrompt;
    return mode_ == Mode::Loader ? settings_.loaderPrompt : settings_.normalPrompt;
}

void UnitProtocol::receive(Channel channel, const QByteArray &bytes, qint64 nowMs)
{
    qsizetype position = 0;
    hungUp_ = false;
    // Whatever followed a hang-up in the same chunk was on its way down a line that is gone.
    while (position < bytes.size() && !hungUp_ && !receptionOf(channel).droppingLine) {
        if (receptionOf(channel).upload)
            position = takeUploadData(channel, bytes, position, nowMs);
        else
            receiveCommandByte(channel, bytes.at(position++), nowMs);
    }
}

void UnitProtocol::resetChannel(Channel channel)
{
    receptionOf(channel) = Reception();
    pending_.removeIf([channel](const Output &output) { return output.channel == channel; });
}

bool UnitProtocol::isReceivingUpload(Channel channel) const
{
    return receptionOf(channel).upload.has_value();
}

void UnitProtocol::setMuteAfterHeader(bool on)
{
    settings_.muteAfterHeader = on;
    silencedByHeader_ = false;
}

void UnitProtocol::setHangupAfterLines(std::optional<int> lines)
{
    linesBeforeHangup_.reset();
    if (lines)
        linesBeforeHangup_ = LinesBeforeHangup{*lines, *lines};
}

QList<UnitProtocol::Output> UnitProtocol::takeDueOutput(qint64 nowMs)
{
    const auto firstLater = std::find_if(pending_.begin(), pending_.end(),
                                         [nowMs](const Output &o) { return o.dueMs > nowMs; });
    const qsizetype dueCount = firstLater - pending_.begin();
    QList<Output> due = pending_.first(dueCount);
    pending_.remove(0, dueCount);
    return due;
}

qint64 UnitProtocol::nextDueMs() const
{
    return pending_.isEmpty() ? -1 : pending_.first().dueMs;
}

QList<UnitProtocol::Event> UnitProtocol::takeEvents()
{
    return std::exchange(events_, {});
}

QByteArray UnitProtocol::fillerText(qint64 size) const
{
    QByteArray alphabet;
    for (char c : FillerAlphabet) {
        if (!isPromptCharacter(c))
            alphabet.append(c);
    }
    QByteArray text(size, ' ');
    for (qint64 i = 0; i < size; ++i) {
        const qint64 column = i % FillerLineLength;
        const qint64 line = i / FillerLineLength;
        text[i] = alphabet.at((line + column) % alphabet.size());
        if (column == FillerLineLength - 2)
            text[i] = '\r';
        else if (column == FillerLineLength - 1)
            text[i] = '\n';
    }
    // The last line is cut short but still ends like the others; a single byte of
    // filler can only be a bare line feed.
    const qint64 lastLineLength = size % FillerLineLength;
    if (lastLineLength >= 2)
        text.replace(size - 2, 2, "\r\n");
    else if (lastLineLength == 1 && size > 1)
        text.replace(size - 3, 3, alphabet.left(1) + "\r\n"); // one long line instead
    else if (size == 1)
        text[0] = '\n';
    return text;
}

QByteArray UnitProtocol::garbage(qint64 size)
{
    QByteArray bytes;
    bytes.reserve(size);
    while (bytes.size() < size) {
        const char byte = char(random_.bounded(256));
        if (!isPromptCharacter(byte))
            bytes.append(byte);
    }
    return bytes;
}

QString UnitProtocol::channelName(Channel channel)
{
    return channel == Channel::Tcp ? QStringLiteral("tcp") : QStringLiteral("pty");
}

quint16 UnitProtocol::checksum(const QByteArray &data)
{
    quint32 sum = 0;
    for (char byte : data)
        sum += quint8(byte);
    return quint16(sum & 0xffff);
}

UnitProtocol::Reception &UnitProtocol::receptionOf(Channel channel)
{
    return channel == Channel::Tcp ? tcpReception_ : ptyReception_;
}

const UnitProtocol::Reception &UnitProtocol::receptionOf(Channel channel) const
{
    return channel == Channel::Tcp ? tcpReception_ : ptyReception_;
}

void UnitProtocol::receiveCommandByte(Channel channel, char byte, qint64 nowMs)
{
    // A terminal sends CR, a script may send CR LF: the LF carries nothing.
    if (byte == '\n')
        return;
    if (settings_.echo)
        queue(channel, nowMs, byte == '\r' ? QByteArray("\r\n") : QByteArray(1, byte));
    QByteArray &line = receptionOf(channel).line;
    if (byte == '\r') {
        handleLine(channel, std::exchange(line, {}), nowMs);
        return;
    }
    if (line.size() < MaxLineLength)
        line.append(byte);
}

qsizetype UnitProtocol::takeUploadData(Channel channel, const QByteArray &bytes, qsizetype from,
                                       qint64 nowMs)
{
    PendingUpload &upload = *receptionOf(channel).upload;
    qint64 wanted = upload.size - upload.data.size();
    if (settings_.hangupAfter && *settings_.hangupAfter < upload.size)
        wanted = std::max<qint64>(0, *settings_.hangupAfter - upload.data.size());
    const qsizetype taken = std::min<qint64>(wanted, bytes.size() - from);
    upload.data.append(bytes.constData() + from, taken);
    if (hangUpIfDue(channel))
        return from + taken;
    if (upload.data.size() == upload.size)
        finishUpload(channel, nowMs);
    return from + taken;
}

void UnitProtocol::handleLine(Channel channel, const QByteArray &line, qint64 nowMs)
{
    const QByteArray command = line.trimmed();
    if (command.isEmpty()) {
        answer(channel, {}, false, nowMs);
        return;
    }
    if (command == "." || command == "RESET" || command == "LOADR") {
        if (command == "RESET")
            mode_ = Mode::Normal;
        else if (command == "LOADR" && !settings_.noLoader)
            mode_ = Mode::Loader;
        answer(channel, {}, true, nowMs);
        return;
    }
    if (command == "VER") {
        answer(channel, settings_.version + "\r\n", true, nowMs);
        return;
    }
    if (command == "OTPM? 1") {
        answer(channel, "1\r\n", true, nowMs);
        return;
    }
    const QList<QByteArray> fields = command.simplified().split(' ');
    if (mode_ == Mode::Loader && isUploadHeader(fields)) {
        startUpload(channel, line, fields, nowMs);
        return;
    }
    answer(channel, "OK\r\n", true, nowMs);
}

bool UnitProtocol::isUploadHeader(const QList<QByteArray> &fields) const
{
    return fields.size() >= 5 && fields.first() == settings_.keyword;
}

void UnitProtocol::startUpload(Channel channel, const QByteArray &line,
                               const QList<QByteArray> &fields, qint64 nowMs)
{
    const std::optional<qint64> size = parseUploadSize(fields.at(2));
    if (!size) {
        answer(channel, "LOAD BAD HEADER\r\n", true, nowMs);
        return;
    }
    PendingUpload upload;
    upload.header = line;
    upload.address = fields.at(1);
    upload.version = textFromField(line, 4);
    upload.size = *size;
    upload.expectedText = fields.at(3);
    receptionOf(channel).upload = upload;
    silencedByHeader_ = silencedByHeader_ || settings_.muteAfterHeader;
    if (hangUpIfDue(channel))
        return;
    if (upload.size == 0)
        finishUpload(channel, nowMs);
}

bool UnitProtocol::hangUpIfDue(Channel channel)
{
    const PendingUpload &upload = *receptionOf(channel).upload;
    const std::optional<qint64> limit = settings_.hangupAfter;
    if (!limit || *limit >= upload.size || upload.data.size() < *limit)
        return false;
    resetChannel(channel);
    hungUp_ = true;
    events_.append({Event::Kind::Hangup, channel, {}});
    return true;
}

void UnitProtocol::finishUpload(Channel channel, qint64 nowMs)
{
    PendingUpload pending = *std::exchange(receptionOf(channel).upload, std::nullopt);
    bool expectedReadable = false;
    const uint expected = pending.expectedText.toUInt(&expectedReadable, 16);

    Upload upload;
    upload.number = ++uploadCount_;
    upload.header = pending.header;
    upload.address = pending.address;
    upload.version = pending.version;
    upload.data = pending.data;
    upload.sum = checksum(pending.data);
    upload.sumText = formatSum(upload.sum, expectedReadable ? pending.expectedText.size() : 1);
    upload.expectedText = pending.expectedText;
    upload.checksumOk = expectedReadable && expected == upload.sum;
    events_.append({Event::Kind::UploadFinished, channel, upload});

    const QByteArray reply =
        upload.checksumOk ? "LOAD OK " + QByteArray::number(pending.size) + ' ' + upload.sumText
                          : "LOAD BAD CHECKSUM " + upload.expectedText + ' ' + upload.sumText;
    answer(channel, reply + "\r\n", true, nowMs);
}

void UnitProtocol::answer(Channel channel, const QByteArray &text, bool padded, qint64 nowMs)
{
    QByteArray bytes;
    if (padded && settings_.answerPadding > 0)
        bytes = fillerText(settings_.answerPadding);
    bytes += text;
    bytes += currentPrompt();
    const qint64 dueMs = nowMs + settings_.answerDelayMs;
    queue(channel, dueMs, bytes);
    countAnsweredLine(channel, dueMs);
}

// A muted unit still answers in silence, so its line drops all the same.
void UnitProtocol::countAnsweredLine(Channel channel, qint64 answerDueMs)
{
    if (!linesBeforeHangup_)
        return;
    int &linesLeft = channel == Channel::Tcp ? linesBeforeHangup_->tcp : linesBeforeHangup_->pty;
    if (--linesLeft > 0)
        return;
    linesBeforeHangup_.reset();
    receptionOf(channel).droppingLine = true;
    // Answers made under a longer delay would come after the drop: they never reach the client.
    pending_.removeIf([channel, answerDueMs](const Output &output) {
        return output.channel == channel && output.dueMs > answerDueMs;
    });
    insertOutput({channel, answerDueMs, {}, true});
}

void UnitProtocol::queue(Channel channel, qint64 dueMs, const QByteArray &bytes)
{
    const bool silenced = silencedByHeader_ && settings_.muteAfterHeader;
    if (!settings_.mute && !silenced)
        insertOutput({channel, dueMs, bytes});
}

// Kept in due order; output due at the same time leaves in the order it was made.
void UnitProtocol::insertOutput(const Output &output)
{
    const qint64 dueMs = output.dueMs;
    const auto later = std::find_if(pending_.begin(), pending_.end(),
                                    [dueMs](const Output &o) { return o.dueMs > dueMs; });
    pending_.insert(later, output);
}

bool UnitProtocol::isPromptCharacter(char byte) const
{
    return byte == settings_.normalPrompt || byte == settings_.loaderPrompt ||
           (settings_.onlyPrompt && byte == *settings_.onlyPrompt);
}
