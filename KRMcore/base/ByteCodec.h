#pragma once
// Bounds-checked reading and writing of integers in a byte buffer, in big- or
// little-endian order. Every binary file format of the program (project and
// wave-info files, WAV headers, style-file chunks) reads its fields through a
// ByteReader in the same order as its encoder writes them through a
// ByteWriter, so the two sides cannot drift apart.
//
// ByteReader never reads past the end of its span: a read that does not fit
// returns false, leaves the cursor where it was and leaves the output alone.
// The span is borrowed; the caller keeps the bytes alive while reading.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace krm {

enum class Endian { Big, Little };

class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size, Endian order = Endian::Big)
        : m_data(data), m_size(data ? size : 0), m_order(order)
    { }
    explicit ByteReader(const std::vector<uint8_t>& bytes, Endian order = Endian::Big)
        : ByteReader(bytes.data(), bytes.size(), order)
    { }

    size_t pos() const { return m_pos; }
    size_t size() const { return m_size; }
    // Bytes left after the cursor; 0 at the end.
    size_t remaining() const { return m_size - m_pos; }
    bool atEnd() const { return m_pos >= m_size; }
    const uint8_t* data() const { return m_data; }
    const uint8_t* cursor() const { return m_data + m_pos; }
    void setOrder(Endian order) { m_order = order; }

    // Moves the cursor to an absolute offset; false (cursor unchanged) past the end.
    bool seek(size_t offset)
    {
        if (offset > m_size)
            return false;
        m_pos = offset;
        return true;
    }
    // Skips n bytes; false (cursor unchanged) when fewer are left. n is 64-bit so
    // that a length read from a file cannot wrap the check.
    bool skip(uint64_t n)
    {
        if (n > remaining())
            return false;
        m_pos += static_cast<size_t>(n);
        return true;
    }

    bool u8(uint8_t& v) { return readUnsigned(1, v); }
    bool u16(uint16_t& v) { return readUnsigned(2, v); }
    bool u24(uint32_t& v) { return readUnsigned(3, v); }
    bool u32(uint32_t& v) { return readUnsigned(4, v); }
    bool u64(uint64_t& v) { return readUnsigned(8, v); }
    bool i8(int8_t& v) { return readSigned(1, v); }
    bool i16(int16_t& v) { return readSigned(2, v); }
    bool i32(int32_t& v) { return readSigned(4, v); }
    bool f32(float& v)
    {
        uint32_t bits = 0;
        if (!u32(bits))
            return false;
        std::memcpy(&v, &bits, sizeof v);
        return true;
    }
    bool f64(double& v)
    {
        uint64_t bits = 0;
        if (!u64(bits))
            return false;
        std::memcpy(&v, &bits, sizeof v);
        return true;
    }
    // Reads `count` floats into out[0 .. count - 1] in one pass; false
    // (nothing read, cursor unchanged) when fewer than 4 * count bytes are
    // left. The same values as `count` calls of f32, without a bounds test
    // per value.
    bool f32Array(float* out, uint64_t count)
    {
        if (count > remaining() / 4)
            return false;
        const uint8_t* p = m_data + m_pos;
        const size_t n = static_cast<size_t>(count);
        for (size_t k = 0; k < n; ++k, p += 4) {
            const uint32_t bits = m_order == Endian::Big ? (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) |
                                                               (uint32_t(p[2]) << 8) | uint32_t(p[3])
                                                         : (uint32_t(p[3]) << 24) | (uint32_t(p[2]) << 16) |
                                                               (uint32_t(p[1]) << 8) | uint32_t(p[0]);
            std::memcpy(out + k, &bits, sizeof bits);
        }
        m_pos += 4 * n;
        return true;
    }
    // Copies n raw bytes; false (nothing copied) when fewer are left.
    bool bytes(void* out, uint64_t n)
    {
        if (n > remaining())
            return false;
        if (n)
            std::memcpy(out, m_data + m_pos, static_cast<size_t>(n));
        m_pos += static_cast<size_t>(n);
        return true;
    }
    bool bytes(std::vector<uint8_t>& out, uint64_t n)
    {
        if (n > remaining())
            return false;
        out.assign(m_data + m_pos, m_data + m_pos + n);
        m_pos += static_cast<size_t>(n);
        return true;
    }
    // Compares the next bytes with a tag (e.g. "RIFF") and consumes them on a match.
    bool expect(const char* tag, size_t n)
    {
        if (n > remaining() || std::memcmp(m_data + m_pos, tag, n) != 0)
            return false;
        m_pos += n;
        return true;
    }

private:
    template <typename T> bool readUnsigned(size_t n, T& v)
    {
        if (n > remaining())
            return false;
        uint64_t x = 0;
        const uint8_t* p = m_data + m_pos;
        if (m_order == Endian::Big) {
            for (size_t i = 0; i < n; ++i)
                x = (x << 8) | p[i];
        } else {
            for (size_t i = n; i-- > 0;)
                x = (x << 8) | p[i];
        }
        m_pos += n;
        v = static_cast<T>(x);
        return true;
    }
    template <typename T> bool readSigned(size_t n, T& v)
    {
        uint64_t x = 0;
        if (!readUnsigned(n, x))
            return false;
        v = static_cast<T>(static_cast<std::make_unsigned_t<T>>(x));
        return true;
    }

    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
    Endian m_order;
};

// Appends integers to a growing byte vector (owned by the caller), or
// overwrites bytes already written (`put*At`, for lengths known only later).
class ByteWriter {
public:
    explicit ByteWriter(std::vector<uint8_t>& out, Endian order = Endian::Big)
        : m_out(out), m_order(order) { }

    size_t size() const { return m_out.size(); }
    std::vector<uint8_t>& buffer() { return m_out; }
    void setOrder(Endian order) { m_order = order; }

    void u8(uint8_t v) { m_out.push_back(v); }
    void u16(uint16_t v) { put(2, v); }
    void u24(uint32_t v) { put(3, v); }
    void u32(uint32_t v) { put(4, v); }
    void u64(uint64_t v) { put(8, v); }
    void i16(int16_t v) { put(2, static_cast<uint16_t>(v)); }
    void i32(int32_t v) { put(4, static_cast<uint32_t>(v)); }
    void f32(float v)
    {
        uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        u32(bits);
    }
    void f64(double v)
    {
        uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        u64(bits);
    }
    // Appends `count` floats, the same bytes as `count` calls of f32.
    void f32Array(const float* v, size_t count)
    {
        const size_t at = m_out.size();
        m_out.resize(at + 4 * count);
        uint8_t* p = m_out.data() + at;
        for (size_t k = 0; k < count; ++k, p += 4) {
            uint32_t bits;
            std::memcpy(&bits, v + k, sizeof bits);
            for (size_t i = 0; i < 4; ++i)
                p[i] = static_cast<uint8_t>(bits >> (8 * (m_order == Endian::Big ? 3 - i : i)));
        }
    }
    void bytes(const void* p, size_t n)
    {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        m_out.insert(m_out.end(), b, b + n);
    }
    void bytes(const std::vector<uint8_t>& b) { m_out.insert(m_out.end(), b.begin(), b.end()); }
    void tag(const char* t, size_t n = 4) { bytes(t, n); }

    // Overwrites an integer already written at `offset`; false when it does not fit.
    bool putU32At(size_t offset, uint32_t v) { return putAt(offset, 4, v); }
    bool putU16At(size_t offset, uint16_t v) { return putAt(offset, 2, v); }

private:
    void put(size_t n, uint64_t v)
    {
        const size_t at = m_out.size();
        m_out.resize(at + n);
        store(at, n, v);
    }
    bool putAt(size_t offset, size_t n, uint64_t v)
    {
        if (offset > m_out.size() || n > m_out.size() - offset)
            return false;
        store(offset, n, v);
        return true;
    }
    void store(size_t at, size_t n, uint64_t v)
    {
        for (size_t i = 0; i < n; ++i) {
            const size_t shift = 8 * (m_order == Endian::Big ? n - 1 - i : i);
            m_out[at + i] = static_cast<uint8_t>(v >> shift);
        }
    }

    std::vector<uint8_t>& m_out;
    Endian m_order;
};

}  // namespace krm
