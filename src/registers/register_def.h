#pragma once

#include "registers/quantity.h"
#include "registers/register_block.h"

#include <string_view>

namespace kalvo {

// How a row's registers are decoded.
enum class ValueType : std::uint8_t { Short, Integer, Float, Double };

// One row of a register map table: the texts the tables show (Addr and Bytes decimal) and
// what the program needs of it, derived from those texts when the program is compiled.
struct RegisterDef {
    std::string_view OBIS;
    std::string_view Addr;
    std::string_view Type;
    std::string_view Bytes;
    std::string_view Description;
    Quantity Id;

    int Index; // first register
    int Count; // registers
    ValueType Decoder;
    RegisterBlock Block;

    constexpr RegisterDef(std::string_view obis, std::string_view addr, std::string_view type,
                          std::string_view bytes, std::string_view description, Quantity id)
        : OBIS(obis), Addr(addr), Type(type), Bytes(bytes), Description(description), Id(id),
          Index(Decimal(addr)), Count(Decimal(bytes) / 2), Decoder(TypeOf(type)),
          Block(BlockOf(Index)) {}

private:
    // Not a constant expression for a text that is no number: such a table does not compile.
    static constexpr int Decimal(std::string_view text) {
        if (text.empty()) {
            throw "empty number";
        }
        int value = 0;
        for (const char digit : text) {
            if (digit < '0' || digit > '9') {
                throw "not a decimal number";
            }
            value = value * 10 + (digit - '0');
        }
        return value;
    }

    static constexpr ValueType TypeOf(std::string_view type) {
        if (type == "short") {
            return ValueType::Short;
        }
        if (type == "integer") {
            return ValueType::Integer;
        }
        if (type == "float") {
            return ValueType::Float;
        }
        if (type == "double") {
            return ValueType::Double;
        }
        throw "unknown register type";
    }
};

} // namespace kalvo
