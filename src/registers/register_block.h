#pragma once

#include <array>
#include <cstdint>

namespace kalvo {

// The module's register map is read in two requests. These are the only place the split is
// written down.
enum class RegisterBlock : std::uint8_t { A, B };

struct BlockSpan {
    RegisterBlock Id;
    char Letter;
    int First; // protocol address of the first register
    int Count;

    constexpr int End() const { return First + Count; }
    constexpr bool Contains(int index) const { return index >= First && index < End(); }
};

inline constexpr std::array<BlockSpan, 2> kRegisterBlocks = {{
    {RegisterBlock::A, 'A', 0, 121},
    {RegisterBlock::B, 'B', 121, 124},
}};

constexpr const BlockSpan& SpanOf(RegisterBlock block) {
    return kRegisterBlocks[static_cast<std::size_t>(block)];
}

// The block register `index` is read in; an index past block A counts as block B.
constexpr RegisterBlock BlockOf(int index) {
    return SpanOf(RegisterBlock::A).Contains(index) ? RegisterBlock::A : RegisterBlock::B;
}

} // namespace kalvo
