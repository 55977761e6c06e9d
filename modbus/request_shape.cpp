#include "modbus/request_shape.h"

#include "modbus/function_codes.h"
#include "modbus/function_shapes.h"
#include "modbus/word_bytes.h"
#include "text/ascii_text.h"

namespace modbus {

namespace {

using detail::WordAt;

constexpr std::uint16_t kCoilOn = 0xFF00;

std::string SizeFault(FunctionCode code, std::size_t size, std::size_t expected) {
    return "a request of " + FunctionText(code) + " of " + std::to_string(size) +
           " bytes, where it has " + std::to_string(expected);
}

std::string QuantityFault(const FunctionShape& shape, std::uint16_t quantity) {
    if (quantity >= 1 && quantity <= shape.most_items) {
        return {};
    }
    return "a request for " + ItemCount(shape.code, quantity) + ", where " +
           FunctionText(shape.code) + " takes 1 to " + std::to_string(shape.most_items);
}

std::string CountedValuesFault(const FunctionShape& shape, std::span<const std::uint8_t> pdu) {
    const FunctionCode code = shape.code;
    const std::size_t head = RequestHeadSize(shape.request);
    if (pdu.size() < head) {
        return SizeFault(code, pdu.size(), head);
    }
    const std::uint16_t quantity = WordAt(pdu, 3);
    if (auto fault = QuantityFault(shape, quantity); !fault.empty()) {
        return fault;
    }
    const std::size_t expected = ItemBytes(shape, quantity);
    const std::size_t count = pdu[head - 1];
    const std::size_t present = pdu.size() - head;
    if (count != expected || present != expected) {
        return "a byte count of " + std::to_string(count) + " where " + ItemCount(code, quantity) +
               " take " + std::to_string(expected) + " bytes and " + std::to_string(present) +
               " follow";
    }
    return {};
}

std::string ShapeFault(std::span<const std::uint8_t> pdu) {
    if (pdu.empty()) {
        return "a request without a function code";
    }
    const auto code = static_cast<FunctionCode>(pdu[0]);
    const FunctionShape* shape = ShapeOf(code);
    if (shape == nullptr) {
        return "a request of " + FunctionText(code) + ", whose shape is not known here";
    }
    const std::size_t head = RequestHeadSize(shape->request);
    switch (shape->request) {
        case RequestLayout::StartQuantity:
            if (pdu.size() != head) {
                return SizeFault(code, pdu.size(), head);
            }
            return QuantityFault(*shape, WordAt(pdu, 3));
        case RequestLayout::AddressValue:
            if (pdu.size() != head) {
                return SizeFault(code, pdu.size(), head);
            }
            if (shape->items == ItemKind::Bits && WordAt(pdu, 3) != kCoilOn &&
                WordAt(pdu, 3) != 0) {
                return "a coil set to " + text::ascii::HexWord(WordAt(pdu, 3)) +
                       ", where FF00 (on) or 0000 (off) is written";
            }
            return {};
        case RequestLayout::CountedValues:
            return CountedValuesFault(*shape, pdu);
        case RequestLayout::CodeAlone:
            return pdu.size() == head ? std::string() : SizeFault(code, pdu.size(), head);
    }
    return {};
}
}  // namespace

std::optional<text::Failure> RequestShapeFault(std::span<const std::uint8_t> pdu) {
    std::string fault = ShapeFault(pdu);
    if (fault.empty()) {
        return std::nullopt;
    }
    return text::Failure{std::move(fault)};
}

}  // namespace modbus
