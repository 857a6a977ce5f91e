#pragma once

#include <string_view>

namespace kalvo {

// One row of a register map table. Every field is display text; Addr and Bytes are decimal.
struct RegisterDef {
    std::string_view OBIS;
    std::string_view Addr;
    std::string_view Type;
    std::string_view Bytes;
    std::string_view Description;
};

} // namespace kalvo
