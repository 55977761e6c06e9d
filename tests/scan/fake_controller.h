// A controller modelled as memory behind a fake link, answering each request as the real one does:
// a register holds the low byte of its address and a bit the lowest bit of its address until
// written; an address in `missing` (a model smaller than the map) refuses any request that
// reaches it with exception 02; a silent controller answers nothing.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "modbus/function_codes.h"
#include "modbus/pdu.h"
#include "transport/link.h"

class FakeController final : public transport::Link {
  public:
    std::set<std::uint16_t> missing;              // addresses answered with exception 02
    bool silent = false;                          // nothing answers at all
    std::vector<std::string> sent;                // "1064+3" per read, "w1064+1" per write
    std::map<std::uint16_t, std::uint16_t> held;  // what writes left, by address

    std::optional<text::Failure> Open() override { return std::nullopt; }

    transport::Outcome Transact(std::span<const std::uint8_t> pdu) override {
        ++counters_.requests;
        const auto code = static_cast<modbus::FunctionCode>(pdu[0]);
        const auto start = static_cast<std::uint16_t>(pdu[1] << 8 | pdu[2]);
        const bool single = code == modbus::FunctionCode::WriteSingleCoil ||
                            code == modbus::FunctionCode::WriteSingleRegister;
        const auto quantity =
            single ? std::uint16_t{1} : static_cast<std::uint16_t>(pdu[3] << 8 | pdu[4]);
        const bool writes = single || code == modbus::FunctionCode::WriteMultipleCoils ||
                            code == modbus::FunctionCode::WriteMultipleRegisters;
        char text[24];
        std::snprintf(text, sizeof text, "%s%04X+%u", writes ? "w" : "", start, quantity);
        sent.emplace_back(text);
        if (silent) {
            return {std::nullopt,
                    "no answer within 200 ms after 1 try",
                    transport::LineState::Silent,
                    {},
                    1};
        }
        for (std::uint32_t address = start; address < start + quantity; ++address) {
            if (missing.count(static_cast<std::uint16_t>(address)) != 0) {
                modbus::Reply refused;
                refused.kind = modbus::ReplyKind::Exception;
                refused.exception = 0x02;
                return {refused, {}, transport::LineState::Answering, {}, 1};
            }
        }
        modbus::Reply reply;
        reply.kind = modbus::ReplyKind::Values;
        if (writes) {
            Store(code, start, quantity, pdu);
            return {reply, {}, transport::LineState::Answering, {}, 1};
        }
        const bool bits = modbus::ReachesBits(code);
        for (std::uint32_t at = start; at < start + quantity; ++at) {
            const auto address = static_cast<std::uint16_t>(at);
            const auto found = held.find(address);
            reply.values.push_back(found != held.end() ? found->second
                                   : bits              ? static_cast<std::uint16_t>(address & 1)
                                          : static_cast<std::uint16_t>(address & 0xFF));
        }
        return {reply, {}, transport::LineState::Answering, {}, 1};
    }

    transport::Outcome TransactWith(std::uint8_t, std::span<const std::uint8_t> pdu) override {
        return Transact(pdu);
    }

    std::optional<std::chrono::milliseconds> Settle() override { return std::nullopt; }
    void Pause(std::chrono::milliseconds) override {}

  private:
    void Store(modbus::FunctionCode code, std::uint16_t start, std::uint16_t quantity,
               std::span<const std::uint8_t> pdu) {
        const auto word = [&](std::size_t at) {
            return static_cast<std::uint16_t>(pdu[at] << 8 | pdu[at + 1]);
        };
        switch (code) {
            case modbus::FunctionCode::WriteSingleCoil:
                held[start] = word(3) == 0xFF00 ? 1 : 0;
                break;
            case modbus::FunctionCode::WriteSingleRegister:
                held[start] = word(3);
                break;
            case modbus::FunctionCode::WriteMultipleCoils:
                for (std::uint16_t i = 0; i < quantity; ++i) {
                    held[static_cast<std::uint16_t>(start + i)] =
                        static_cast<std::uint16_t>(pdu[6 + i / 8] >> (i % 8) & 1);
                }
                break;
            default:
                for (std::uint16_t i = 0; i < quantity; ++i) {
                    held[static_cast<std::uint16_t>(start + i)] = word(6 + 2u * i);
                }
                break;
        }
    }
};
