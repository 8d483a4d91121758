// The late-bound face of the control: members by number, events by name, values as variants.
#pragma once

#include "cd_writer.h"

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace cdw {

using Value = std::variant<std::monostate, bool, std::int16_t, std::int32_t, std::string>;

enum class Kind { Method = 1, Get = 2, Put = 4 };
enum class InvokeResult { Ok = 0, NoMember = -1, Count = -2, Type = -3, Range = -4 };

// Calls member `member` of `writer`. By-reference arguments may be updated in `args`.
InvokeResult Invoke(CDWriter& writer, int member, Kind kind, std::vector<Value>& args, Value& result);

// An event's parameters in order, typed as the control gives them.
std::vector<Value> EventArguments(const Event& event);

}  // namespace cdw
