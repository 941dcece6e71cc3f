#pragma once

// A cursor over a span of bytes: the one place where reads of file data are
// bounds-checked. Every read either delivers all its bytes or fails and leaves
// the position where it was; nothing ever reads outside the span. Lengths are
// compared as remaining counts (n <= size - pos), never as computed addresses.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace tamblure {

enum class ByteOrder {
    BigEndian,
    LittleEndian
};

class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes, ByteOrder order = ByteOrder::BigEndian)
        : bytes_(bytes), order_(order)
    {}

    std::size_t size() const { return bytes_.size(); }
    std::size_t position() const { return pos_; }
    std::size_t remaining() const { return bytes_.size() - pos_; }
    bool atEnd() const { return pos_ == bytes_.size(); }
    ByteOrder order() const { return order_; }
    void setOrder(ByteOrder order) { order_ = order; }
    std::span<const std::uint8_t> bytes() const { return bytes_; }

    // Moves to an absolute position; false (and no move) past the end.
    [[nodiscard]] bool seek(std::size_t pos)
    {
        if (pos > bytes_.size())
            return false;
        pos_ = pos;
        return true;
    }

    [[nodiscard]] bool skip(std::size_t n)
    {
        if (n > remaining())
            return false;
        pos_ += n;
        return true;
    }

    [[nodiscard]] bool readU8(std::uint8_t& out)
    {
        if (remaining() < 1)
            return false;
        out = bytes_[pos_++];
        return true;
    }

    [[nodiscard]] bool readU16(std::uint16_t& out)
    {
        if (!u16At(pos_, out))
            return false;
        pos_ += 2;
        return true;
    }

    [[nodiscard]] bool readU32(std::uint32_t& out)
    {
        if (!u32At(pos_, out))
            return false;
        pos_ += 4;
        return true;
    }

    // n bytes from the current position, or nothing when fewer remain.
    [[nodiscard]] std::optional<std::span<const std::uint8_t>> readBytes(std::size_t n)
    {
        if (n > remaining())
            return std::nullopt;
        auto out = bytes_.subspan(pos_, n);
        pos_ += n;
        return out;
    }

    // Random access that does not move the cursor.
    [[nodiscard]] bool u8At(std::size_t offset, std::uint8_t& out) const
    {
        if (offset >= bytes_.size())
            return false;
        out = bytes_[offset];
        return true;
    }

    [[nodiscard]] bool u16At(std::size_t offset, std::uint16_t& out) const
    {
        if (!fits(offset, 2))
            return false;
        const std::uint16_t a = bytes_[offset], b = bytes_[offset + 1];
        out = order_ == ByteOrder::BigEndian ? static_cast<std::uint16_t>(a << 8 | b)
                                             : static_cast<std::uint16_t>(b << 8 | a);
        return true;
    }

    [[nodiscard]] bool u32At(std::size_t offset, std::uint32_t& out) const
    {
        if (!fits(offset, 4))
            return false;
        const auto* p = bytes_.data() + offset;
        if (order_ == ByteOrder::BigEndian)
            out = std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
        else
            out = std::uint32_t{p[3]} << 24 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0];
        return true;
    }

    // True when [offset, offset + length) lies wholly inside the span.
    [[nodiscard]] bool fits(std::size_t offset, std::size_t length) const
    {
        return offset <= bytes_.size() && length <= bytes_.size() - offset;
    }

    // A reader over [offset, offset + length), or nothing when that range
    // leaves the span. The sub-reader keeps this reader's byte order.
    [[nodiscard]] std::optional<ByteReader> sub(std::size_t offset, std::size_t length) const
    {
        if (!fits(offset, length))
            return std::nullopt;
        return ByteReader(bytes_.subspan(offset, length), order_);
    }

private:
    std::span<const std::uint8_t> bytes_;
    ByteOrder order_;
    std::size_t pos_ = 0;
};

} // namespace tamblure
