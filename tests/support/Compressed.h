#pragma once

#include <QByteArray>

#include <gtest/gtest.h>

#include <zlib.h>

namespace testing_support {

enum class Packing
{
    Gzip,
    Deflate, // zlib's format, as "Content-Encoding: deflate" names it
};

// The bytes as a server packs them for an answer's Content-Encoding.
inline QByteArray packed(const QByteArray& plain, Packing packing)
{
    z_stream stream{};
    EXPECT_EQ(
        deflateInit2(
            &stream, 9, Z_DEFLATED, MAX_WBITS + (packing == Packing::Gzip ? 16 : 0), 9, Z_DEFAULT_STRATEGY),
        Z_OK);
    QByteArray out(static_cast<qsizetype>(deflateBound(&stream, static_cast<uLong>(plain.size()))), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.constData()));
    stream.avail_in = static_cast<uInt>(plain.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(static_cast<qsizetype>(stream.total_out));
    deflateEnd(&stream);
    return out;
}

} // namespace testing_support
