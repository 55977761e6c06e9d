// Every row of the function shapes walked through each check that reads it: a sound request of the
// row passes the shape check, its reply of the size the request foretells is read as an answer, and
// a quantity past the row's limit is refused. A code without a row is refused by each of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "modbus/function_codes.h"
#include "modbus/function_shapes.h"
#include "modbus/pdu.h"
#include "modbus/request_shape.h"
#include "test_names.h"

namespace {

using modbus::FunctionShape;
using modbus::ReplyLayout;
using modbus::RequestLayout;
using Bytes = std::vector<std::uint8_t>;

void AppendWord(Bytes& bytes, unsigned word) {
    bytes.push_back(static_cast<std::uint8_t>(word >> 8));
    bytes.push_back(static_cast<std::uint8_t>(word & 0xFF));
}

// A sound request of `shape` for `quantity` items from address 0x1064.
Bytes SoundRequest(const FunctionShape& shape, unsigned quantity) {
    Bytes pdu{static_cast<std::uint8_t>(shape.code)};
    switch (shape.request) {
        case RequestLayout::StartQuantity:
            AppendWord(pdu, 0x1064);
            AppendWord(pdu, quantity);
            break;
        case RequestLayout::AddressValue:
            AppendWord(pdu, 0x1064);
            AppendWord(pdu, 0xFF00);
            break;
        case RequestLayout::CountedValues:
            AppendWord(pdu, 0x1064);
            AppendWord(pdu, quantity);
            pdu.push_back(static_cast<std::uint8_t>(modbus::ItemBytes(shape, quantity)));
            pdu.resize(pdu.size() + modbus::ItemBytes(shape, quantity));
            break;
        case RequestLayout::CodeAlone:
            break;
    }
    return pdu;
}

// The sound reply to `request`: its size is what ReplyPduSize foretells, where it does.
Bytes SoundReply(const FunctionShape& shape, const Bytes& request) {
    switch (shape.reply) {
        case ReplyLayout::CountedItems: {
            const auto bytes = modbus::ReplyPduSize(request) - 2;
            Bytes reply(2 + bytes, 0);
            reply[0] = request[0];
            reply[1] = static_cast<std::uint8_t>(bytes);
            return reply;
        }
        case ReplyLayout::Echo:
        case ReplyLayout::StartQuantity:
            // The request's own first five bytes: function, then address and value (or start and
            // quantity).
            return Bytes(request.begin(),
                         request.begin() +
                             static_cast<std::ptrdiff_t>(std::min<std::size_t>(5, request.size())));
        case ReplyLayout::CountedBytes:
            return {request[0], 2, 0x5A, 0xFF};
    }
    return {};
}

class FunctionShapeTest : public testing::TestWithParam<FunctionShape> {};

TEST_P(FunctionShapeTest, EveryCheckReadsTheRow) {
    const FunctionShape& shape = GetParam();
    const unsigned quantity = shape.most_items != 0 ? shape.most_items : 1;
    const Bytes request = SoundRequest(shape, quantity);
    EXPECT_FALSE(modbus::RequestShapeFault(request));
    const Bytes reply = SoundReply(shape, request);
    if (shape.reply != ReplyLayout::CountedBytes) {
        EXPECT_EQ(modbus::ReplyPduSize(request), reply.size());
    }
    const auto read = modbus::ReadReply(request, reply);
    EXPECT_EQ(read.kind, modbus::ReplyKind::Values) << read.message;
    if (shape.reply == ReplyLayout::CountedItems) {
        EXPECT_EQ(read.values.size(), quantity);
    }
    EXPECT_EQ(modbus::MostItems(shape.code).value_or(0), shape.most_items);
    EXPECT_EQ(modbus::ReachesBits(shape.code), shape.items == modbus::ItemKind::Bits);
    if (shape.most_items != 0) {
        EXPECT_TRUE(modbus::RequestShapeFault(SoundRequest(shape, shape.most_items + 1u)));
        EXPECT_TRUE(modbus::RequestShapeFault(SoundRequest(shape, 0)));
    }
    Bytes longer = request;
    longer.push_back(0);
    EXPECT_TRUE(modbus::RequestShapeFault(longer));
}

std::string ShapeName(const testing::TestParamInfo<FunctionShape>& info) {
    return "Function" + std::to_string(static_cast<unsigned>(info.param.code));
}

INSTANTIATE_TEST_SUITE_P(Rows, FunctionShapeTest, testing::ValuesIn(modbus::kFunctionShapes),
                         ShapeName);

TEST(FunctionShapes, ACodeWithoutARowIsRefusedByEveryCheck) {
    // 23 (read/write multiple registers) and 0x41, a code no one has named.
    for (const std::uint8_t code : {std::uint8_t{0x17}, std::uint8_t{0x41}}) {
        const Bytes request{code, 0x10, 0x64, 0x00, 0x01, 0x10, 0x64, 0x00, 0x01, 0x02, 0, 0};
        SCOPED_TRACE(static_cast<int>(code));
        EXPECT_EQ(modbus::ShapeOf(static_cast<modbus::FunctionCode>(code)), nullptr);
        const auto fault = modbus::RequestShapeFault(request);
        ASSERT_TRUE(fault);
        EXPECT_NE(fault->message.find("whose shape is not known here"), std::string::npos);
        EXPECT_EQ(modbus::ReplyPduSize(request), 0u);
        EXPECT_EQ(modbus::ReadReply(request, Bytes{code, 2, 0, 1}).kind,
                  modbus::ReplyKind::Unrelated);
        EXPECT_FALSE(modbus::MostItems(static_cast<modbus::FunctionCode>(code)));
    }
}

TEST(FunctionShapes, TheServedCodesAreListedFromTheTable) {
    EXPECT_EQ(modbus::ServedCodesText(), "1, 2, 3, 5, 6, 15, 16 and 17");
    EXPECT_EQ(modbus::ServedShape(modbus::FunctionCode::ReadInputRegisters), nullptr);
    EXPECT_NE(modbus::ShapeOf(modbus::FunctionCode::ReadInputRegisters), nullptr);
}

}  // namespace
