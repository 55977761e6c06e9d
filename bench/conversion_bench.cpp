// Cost of the conversion that runs on every keystroke: ModbusAddressFor per device kind on the
// texts people type, the same on a 1 MB paste of digits, and the octal reading on its own. Then
// the cost of reading one captured frame, the way --frames reads each line of a log.

#include <benchmark/benchmark.h>

#include <string>
#include <string_view>
#include <vector>

#include "conversion/address_map.h"
#include "conversion/captured_frame.h"
#include "conversion/octal_digits.h"

namespace {

using conversion::DeviceKind;
using conversion::PlcSeries;

constexpr const char* kTypedTexts[] = {"0", "17", "1535", "255", "4095"};

constexpr std::size_t kMegabyte = 1024 * 1024;

// A 1 MB paste of digits: a number far too large for a double for every kind.
const std::string& MegabyteOfDigits() {
    static const std::string text = [] {
        std::string digits(kMegabyte, '0');
        for (std::size_t i = 0; i < digits.size(); ++i) {
            digits[i] = static_cast<char>('1' + i % 7);
        }
        return digits;
    }();
    return text;
}

void AddressOfTyped(benchmark::State& state, DeviceKind kind, std::string_view text) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(text);
        auto address = conversion::ModbusAddressFor(kind, text, PlcSeries::SS);
        benchmark::DoNotOptimize(address);
    }
}

// All five typed texts in turn, so that one figure per kind stands for a typical keystroke.
void AddressOfTypedMix(benchmark::State& state, DeviceKind kind) {
    std::size_t i = 0;
    for (auto _ : state) {
        std::string_view text = kTypedTexts[i];
        i = (i + 1) % std::size(kTypedTexts);
        benchmark::DoNotOptimize(text);
        auto address = conversion::ModbusAddressFor(kind, text, PlcSeries::SS);
        benchmark::DoNotOptimize(address);
    }
}

void AddressOfMegabyte(benchmark::State& state, DeviceKind kind) {
    const std::string_view text = MegabyteOfDigits();
    for (auto _ : state) {
        auto address = conversion::ModbusAddressFor(kind, text, PlcSeries::SS);
        benchmark::DoNotOptimize(address);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size()));
}

void OctalOf(benchmark::State& state, std::string_view digits) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(digits);
        auto decimal = conversion::ConvertOctalToDecimal(digits);
        benchmark::DoNotOptimize(decimal);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(digits.size()));
}

// Frames of a capture log, each read against the one before it as --frames does: `before` empty
// for a frame read alone.
struct FrameCase {
    const char* name;
    const char* before;
    const char* text;
};

constexpr FrameCase kFrameCases[] = {
    {"ascii_read_request", "", ":01031064000286"},
    {"rtu_read_request", "", "01 02 05 00 00 10 79 0A"},
    {"coils_after_request", ":01010500000AEF", ":010102CD012E"},
    {"preset_multiple", "", "01 10 10 00 00 02 04 00 0A 01 02 9E 3C"},
    {"not_hex", "", ":01G3"},
};

// A response of 125 registers, D0-D124, read after its request: the longest read of code 03.
std::string LongResponse() {
    std::vector<std::uint8_t> bytes{0x01, 0x03, 250};
    for (int i = 0; i < 250; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(i));
    }
    return modbus::FrameText(modbus::FrameMode::Rtu, bytes);
}

void DecodeOne(benchmark::State& state, std::string before_text, std::string text) {
    const conversion::DecodedFrame before = conversion::DecodeFrame(before_text);
    const conversion::DecodedFrame* context = before_text.empty() ? nullptr : &before;
    for (auto _ : state) {
        benchmark::DoNotOptimize(text.data());
        auto frame = conversion::DecodeFrame(text, context);
        benchmark::DoNotOptimize(frame);
    }
}

void Register() {
    for (const DeviceKind kind : conversion::kDeviceKinds) {
        const std::string prefix =
            std::string("ModbusAddressFor/") + conversion::DeviceLetter(kind);
        benchmark::RegisterBenchmark((prefix + "/typed_mix").c_str(), AddressOfTypedMix, kind);
        for (const char* text : kTypedTexts) {
            benchmark::RegisterBenchmark((prefix + "/\"" + text + "\"").c_str(), AddressOfTyped,
                                         kind, std::string_view(text));
        }
        benchmark::RegisterBenchmark((prefix + "/1MB_digits").c_str(), AddressOfMegabyte, kind)
            ->Unit(benchmark::kMicrosecond);
    }
    for (const char* digits : {"17", "377", "77777777777"}) {
        benchmark::RegisterBenchmark(
            (std::string("ConvertOctalToDecimal/\"") + digits + "\"").c_str(), OctalOf,
            std::string_view(digits));
    }
    benchmark::RegisterBenchmark("ConvertOctalToDecimal/1MB_digits", OctalOf,
                                 std::string_view(MegabyteOfDigits()))
        ->Unit(benchmark::kMicrosecond);
    for (const auto& frame : kFrameCases) {
        benchmark::RegisterBenchmark((std::string("DecodeFrame/") + frame.name).c_str(), DecodeOne,
                                     std::string(frame.before), std::string(frame.text));
    }
    benchmark::RegisterBenchmark("DecodeFrame/125_registers_after_request", DecodeOne,
                                 std::string("01 03 10 00 00 7D 81 2B"), LongResponse());
}

}  // namespace

int main(int argc, char** argv) {
    Register();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
