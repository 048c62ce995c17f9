#include "link/ReplyBuffer.h"

#include <algorithm>
#include <cstring>

void ReplyBuffer::clear()
{
    m_bytes[0] = '\0';
    m_fill = 0;
    m_captured = 0;
}

bool ReplyBuffer::deliver(QByteArrayView bytes, QByteArrayView prompts, int guard)
{
    while (!bytes.isEmpty()) {
        if (m_fill + bytes.size() >= Size)
            m_fill = 0;
        const qsizetype room = Size - m_fill;
        const QByteArrayView piece = bytes.first(std::min(bytes.size(), room));
        if (deliverPiece(piece, prompts, guard))
            return true;
        bytes = bytes.sliced(piece.size());
    }
    return false;
}

bool ReplyBuffer::deliverPiece(QByteArrayView piece, QByteArrayView prompts, int guard)
{
    std::memcpy(m_bytes.data() + m_fill, piece.data(), size_t(piece.size()));
    const int end = m_fill + int(piece.size());
    for (int i = m_fill; i < end; ++i, ++m_captured) {
        if (m_captured >= guard && prompts.contains(m_bytes[size_t(i)])) {
            terminateAt(i);
            m_fill = 0;
            return true;
        }
    }
    m_fill = end;
    terminateAt(m_fill);
    return false;
}

void ReplyBuffer::terminateAt(int index)
{
    if (index >= 0 && index < Size)
        m_bytes[size_t(index)] = '\0';
}

QByteArray ReplyBuffer::text() const
{
    const char *begin = m_bytes.data();
    const char *end = std::find(begin, begin + Size, '\0');
    return QByteArray(begin, end - begin);
}
