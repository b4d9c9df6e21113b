// One kind of primitive of a renderer's picture (independent lines, line strips or triangle
// strips): the strips recorded as runs of the renderer's one vertex list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tessera {

class DrawRenderer;

class DrawPrimitive {
public:
    /// The values are OpenGL's primitive modes, so that the GPU back end passes them unchanged.
    enum class Type : std::uint32_t { lines = 1, lineStrip = 3, triangleStrip = 5 };

    DrawPrimitive(Type type, DrawRenderer& dataHolder) : type_(type), dataHolder_(&dataHolder) {}

    Type type() const { return type_; }
    DrawRenderer& dataHolder() const { return *dataHolder_; }
    void setDataHolder(DrawRenderer& holder) { dataHolder_ = &holder; }

    void reserveCapacity(std::size_t strips) {
        offset_.reserve(strips);
        length_.reserve(strips);
    }
    void removeAll() {
        offset_.clear();
        length_.clear();
    }
    /// Opens a strip at the holder's current vertex count.
    void begin();
    /// Closes the open strip.
    void end();
    /// Adds the strips of `other`, whose vertices now begin `shift` further on.
    void appendShifted(const DrawPrimitive& other, std::int32_t shift);

    /// First vertex and vertex count of each strip (32-bit: they go to the multi-draw call).
    const std::vector<std::int32_t>& offset() const { return offset_; }
    const std::vector<std::int32_t>& length() const { return length_; }
    std::size_t stripCount() const { return offset_.size(); }

private:
    Type type_;
    std::vector<std::int32_t> offset_;
    std::vector<std::int32_t> length_;
    DrawRenderer* dataHolder_; // the renderer that owns this primitive
    std::size_t beginOffset_ = 0;
};

} // namespace tessera
