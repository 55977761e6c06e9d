#include "modbus/pdu.h"

#include <algorithm>

#include "modbus/function_shapes.h"
#include "modbus/word_bytes.h"
#include "text/ascii_text.h"

namespace modbus {

using detail::AppendWord;
using detail::WordAt;

namespace {

constexpr std::uint16_t kCoilOn = 0xFF00;
// Function, address and quantity (or value): the request of a read and the reply to a write.
constexpr std::size_t kShortPdu = 5;

// The row of a request PDU's function code; none for an empty PDU or a code without one.
const FunctionShape* ShapeOfRequest(std::span<const std::uint8_t> request) noexcept {
    return request.empty() ? nullptr : ShapeOf(static_cast<FunctionCode>(request[0]));
}

Reply Unrelated(std::string problem) {
    Reply reply;
    reply.message = std::move(problem);
    return reply;
}

std::string Bytes(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

Reply ReadValues(const FunctionShape& shape, std::uint16_t quantity,
                 std::span<const std::uint8_t> reply) {
    const FunctionCode code = shape.code;
    if (reply.size() < 2) {
        return Unrelated("a reply without its byte count");
    }
    const std::size_t count = reply[1];
    const std::span<const std::uint8_t> data = reply.subspan(2);
    if (count != data.size()) {
        return Unrelated("a byte count of " + std::to_string(count) + " over " +
                         Bytes(data.size()) + " of data");
    }
    const std::size_t expected = ItemBytes(shape, quantity);
    if (count != expected) {
        return Unrelated(Bytes(count) + " of data where " + ItemCount(code, quantity) + " take " +
                         std::to_string(expected));
    }
    Reply values;
    values.kind = ReplyKind::Values;
    values.values.reserve(quantity);
    for (std::size_t i = 0; i < quantity; ++i) {
        values.values.push_back(
            shape.items == ItemKind::Registers
                ? WordAt(data, 2 * i)
                : static_cast<std::uint16_t>(unsigned{data[i / 8]} >> (i % 8) & 1U));
    }
    return values;
}

// A write is answered by its own first five bytes: all of them for 05 and 06 (the echo), function,
// start and quantity for 15 and 16.
Reply WriteAnswer(const FunctionShape& shape, std::span<const std::uint8_t> request,
                  std::span<const std::uint8_t> reply) {
    if (reply.size() != kShortPdu) {
        return Unrelated("a reply of " + Bytes(reply.size()) + " where " +
                         std::to_string(kShortPdu) + " are expected");
    }
    const auto sent = request.first(kShortPdu);
    if (!std::equal(sent.begin(), sent.end(), reply.begin())) {
        const bool echo = shape.reply == ReplyLayout::Echo;
        return Unrelated(std::string(echo ? "an echo " : "start and quantity ") +
                         text::ascii::SpacedHex(reply.subspan(1)) + " instead of " +
                         text::ascii::SpacedHex(sent.subspan(1)));
    }
    Reply answer;
    answer.kind = ReplyKind::Values;
    return answer;
}

// 17 is answered by a byte count and that many bytes: the station's id, its run status and what
// else the device adds. Each byte becomes a value.
Reply CountedBytesAnswer(std::span<const std::uint8_t> reply) {
    if (reply.size() < 2 || reply[1] != reply.size() - 2) {
        return Unrelated("a report of " + Bytes(reply.size()) + " whose byte count does not fit");
    }
    Reply answer;
    answer.kind = ReplyKind::Values;
    answer.values.assign(reply.begin() + 2, reply.end());
    return answer;
}

}  // namespace

std::vector<std::uint8_t> RequestPdu(const ReadRequest& request) {
    std::vector<std::uint8_t> pdu{static_cast<std::uint8_t>(request.function)};
    AppendWord(pdu, request.start);
    AppendWord(pdu, request.quantity);
    return pdu;
}

std::vector<std::uint8_t> RequestPdu(const WriteRequest& request) {
    const std::size_t count = request.values.size();
    const FunctionShape* shape = ShapeOf(request.function);
    if (shape == nullptr || !shape->writes) {
        return {};
    }
    const bool single = shape->request == RequestLayout::AddressValue;
    if (single ? count != 1 : count == 0 || count > shape->most_items) {
        return {};
    }
    std::vector<std::uint8_t> pdu{static_cast<std::uint8_t>(request.function)};
    AppendWord(pdu, request.start);
    if (single) {
        const bool coil = shape->items == ItemKind::Bits;
        AppendWord(pdu, coil ? (request.values[0] != 0 ? kCoilOn : 0) : request.values[0]);
        return pdu;
    }
    AppendWord(pdu, static_cast<std::uint16_t>(count));
    const std::size_t bytes = ItemBytes(*shape, count);
    pdu.push_back(static_cast<std::uint8_t>(bytes));
    if (shape->items == ItemKind::Registers) {
        for (const std::uint16_t value : request.values) {
            AppendWord(pdu, value);
        }
        return pdu;
    }
    pdu.resize(pdu.size() + bytes);
    std::uint8_t* packed = pdu.data() + pdu.size() - bytes;
    for (std::size_t i = 0; i < count; ++i) {
        if (request.values[i] != 0) {
            packed[i / 8] = static_cast<std::uint8_t>(packed[i / 8] | 1u << (i % 8));
        }
    }
    return pdu;
}

Reply ReadReply(std::span<const std::uint8_t> request, std::span<const std::uint8_t> reply) {
    const FunctionShape* shape = ShapeOfRequest(request);
    const std::size_t head = shape != nullptr ? RequestHeadSize(shape->request) : kShortPdu;
    if (request.size() < head || IsExceptionFunction(request[0])) {
        return Unrelated("no request of a read or a write to answer");
    }
    if (reply.empty()) {
        return Unrelated("an empty reply");
    }
    const std::uint8_t function = request[0];
    const auto code = static_cast<FunctionCode>(function);
    if (reply[0] == (function | kExceptionBit)) {
        if (reply.size() != 2) {
            return Unrelated("an exception reply of " + Bytes(reply.size()) +
                             " where 2 are expected");
        }
        Reply refused;
        refused.kind = ReplyKind::Exception;
        refused.exception = reply[1];
        return refused;
    }
    if (reply[0] != function) {
        return Unrelated(
            std::string(IsExceptionFunction(reply[0]) ? "an exception to " : "a reply to ") +
            FunctionText(CodeOf(reply[0])) + " instead of " + FunctionText(code));
    }
    if (shape == nullptr) {
        return Unrelated("a reply to " + FunctionText(code) + ", which is not checked here");
    }
    switch (shape->reply) {
        case ReplyLayout::CountedItems:
            return ReadValues(*shape, WordAt(request, 3), reply);
        case ReplyLayout::Echo:
        case ReplyLayout::StartQuantity:
            return WriteAnswer(*shape, request, reply);
        case ReplyLayout::CountedBytes:
            return CountedBytesAnswer(reply);
    }
    return Unrelated("a reply to " + FunctionText(code) + ", which is not checked here");
}

std::size_t ReplyPduSize(std::span<const std::uint8_t> request) noexcept {
    const FunctionShape* shape = ShapeOfRequest(request);
    if (shape == nullptr || request.size() < RequestHeadSize(shape->request)) {
        return 0;
    }
    switch (shape->reply) {
        case ReplyLayout::CountedItems:
            return 2 + ItemBytes(*shape, WordAt(request, 3));
        case ReplyLayout::Echo:
        case ReplyLayout::StartQuantity:
            return kShortPdu;
        case ReplyLayout::CountedBytes:
            return 0;  // its length is in its own byte count
    }
    return 0;
}

}  // namespace modbus
