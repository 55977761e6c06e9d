// The controller's devices in a frame's readings: the first and last device a range covers, the
// device of each value, and the notes where the controller refuses what a range reaches. Built on
// the address map's segment walk (RunAt), one step per segment rather than per address.
//
// Internal to the library: captured_frame.cpp is its one user. Nothing keeps state or throws (but
// std::bad_alloc when memory runs out).
#pragma once

#include "conversion/captured_frame.h"
#include "modbus/function_codes.h"
#include "modbus/function_data.h"

namespace conversion {

// `reading` with its devices named: the first and last device the range covers, wherever in it
// they lie; each value's device from the range's address on; a note where the range reaches no
// device, reaches inputs with a code for coils, or runs past FFFF. Words from a 32-bit counter on
// (C200-C255) become raw bytes, named after the counters they reach, as their packing is not
// established. A reading without a range keeps its values unnamed.
FrameReading NameDevices(modbus::FunctionCode code, modbus::DataReading reading);

// Whether the size of a response to a request of `code` over `range` follows from its quantity:
// not for registers when the range reaches a 32-bit counter.
bool AnswerSizeFixed(modbus::FunctionCode code, modbus::FrameRange range) noexcept;

}  // namespace conversion
