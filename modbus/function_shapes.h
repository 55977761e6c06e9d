// The shape of each function code the project reads, in one table: how its request and its reply
// are laid out, what it counts and how many one request may name, whether it writes, and whether
// the controller serves it. Every check of a request, every reading of a reply, the end of an RTU
// reply, a gateway's routing and its read-only rule look a code up here; a code without a row is
// one nothing here knows, and each of them refuses it. Adding a function code is one row, the
// layout it needs if none fits, and its tests.
//
// Nothing here keeps state or throws.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "modbus/function_codes.h"

namespace modbus {

// What follows the function byte of a request.
enum class RequestLayout : std::uint8_t {
    StartQuantity,  // start address and quantity
    AddressValue,   // address and value
    CountedValues,  // start address, quantity, byte count and the values
    CodeAlone,      // nothing
};

// What follows the function byte of a sound reply.
enum class ReplyLayout : std::uint8_t {
    CountedItems,   // a byte count and the items read, as many as the request's quantity
    Echo,           // the request's address and value
    StartQuantity,  // the request's start address and quantity
    CountedBytes,   // a byte count and that many bytes
};

enum class ItemKind : std::uint8_t { None, Bits, Registers };

struct FunctionShape {
    FunctionCode code;
    RequestLayout request;
    ReplyLayout reply;
    ItemKind items;
    std::uint16_t most_items;  // the protocol's limit on a request's quantity; 0: no quantity
    bool writes;
    bool served;  // the controller accepts it (it answers any other with exception 01)
};

inline constexpr std::array kFunctionShapes{
    FunctionShape{FunctionCode::ReadCoils, RequestLayout::StartQuantity, ReplyLayout::CountedItems,
                  ItemKind::Bits, 2000, false, true},
    FunctionShape{FunctionCode::ReadDiscreteInputs, RequestLayout::StartQuantity,
                  ReplyLayout::CountedItems, ItemKind::Bits, 2000, false, true},
    FunctionShape{FunctionCode::ReadHoldingRegisters, RequestLayout::StartQuantity,
                  ReplyLayout::CountedItems, ItemKind::Registers, 125, false, true},
    // The controller keeps no input registers; a client that asks is refused, not misread.
    FunctionShape{FunctionCode::ReadInputRegisters, RequestLayout::StartQuantity,
                  ReplyLayout::CountedItems, ItemKind::Registers, 125, false, false},
    FunctionShape{FunctionCode::WriteSingleCoil, RequestLayout::AddressValue, ReplyLayout::Echo,
                  ItemKind::Bits, 0, true, true},
    FunctionShape{FunctionCode::WriteSingleRegister, RequestLayout::AddressValue, ReplyLayout::Echo,
                  ItemKind::Registers, 0, true, true},
    FunctionShape{FunctionCode::WriteMultipleCoils, RequestLayout::CountedValues,
                  ReplyLayout::StartQuantity, ItemKind::Bits, 1968, true, true},
    FunctionShape{FunctionCode::WriteMultipleRegisters, RequestLayout::CountedValues,
                  ReplyLayout::StartQuantity, ItemKind::Registers, 123, true, true},
    FunctionShape{FunctionCode::ReportServerId, RequestLayout::CodeAlone, ReplyLayout::CountedBytes,
                  ItemKind::None, 0, false, true},
};

// The row of `code`; none for a code the table does not have.
constexpr const FunctionShape* ShapeOf(FunctionCode code) noexcept {
    for (const auto& shape : kFunctionShapes) {
        if (shape.code == code) {
            return &shape;
        }
    }
    return nullptr;
}

// The row of a code the controller serves; none for any other.
constexpr const FunctionShape* ServedShape(FunctionCode code) noexcept {
    const FunctionShape* shape = ShapeOf(code);
    return shape != nullptr && shape->served ? shape : nullptr;
}

// The size of a request's PDU before any counted values: function byte and the fixed fields.
constexpr std::size_t RequestHeadSize(RequestLayout layout) noexcept {
    switch (layout) {
        case RequestLayout::StartQuantity:
        case RequestLayout::AddressValue:
            return 5;
        case RequestLayout::CountedValues:
            return 6;
        case RequestLayout::CodeAlone:
            return 1;
    }
    return 1;
}

// The data bytes `quantity` items of `shape` take: a bit each, packed eight to a byte, or a word.
constexpr std::size_t ItemBytes(const FunctionShape& shape, std::size_t quantity) noexcept {
    return shape.items == ItemKind::Registers ? 2 * quantity : (quantity + 7) / 8;
}

// The codes the controller serves as messages list them: "1, 2, 3, 5, 6, 15, 16 and 17".
std::string ServedCodesText();

}  // namespace modbus
